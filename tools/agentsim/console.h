// The simulated Agent's text console: a screen it opens on the viewer (PKT_CONSOLE_START),
// changes row by row and by cursor, echoes typed keys into the way a remote shell would,
// and closes. Pure: each function appends the packets to send.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "console/screenbuf.h"
#include "tools/agentsim/input.h"

struct SimConsole {
    int open;
    int16_t width, height;
    int16_t cursorX, cursorY;
    uint32_t cursorSize, cursorVisible;
    uint16_t attr; // colours of the text and of blank cells
    int echo;      // typed keys are written into the screen (on by default)
    int shift, ctrl;
    std::vector<ConsoleCell> cells;
};

void SimConsoleInit(SimConsole *c);

// A screen of width x height (width * height at most 7,920 cells): the given lines, cut
// to the width, or, with lines NULL, a made-up screen ("Row NN:" and a letter pattern);
// the cursor below the last line of text. Appends PKT_CONSOLE_START.
void SimConsoleOpen(SimConsole *c, int16_t width, int16_t height, uint16_t attr, const std::vector<std::string> *lines,
                    std::vector<uint8_t> *out);
// Start number n of a burst (console-starts): the made-up screen of width x height with
// "Start n" at the head of row 0, the cursor at (n % width, n % height) and the colours
// ConsoleBurstAttr(n). Appends PKT_CONSOLE_START.
void SimConsoleOpenNumbered(SimConsole *c, uint32_t n, int16_t width, int16_t height, std::vector<uint8_t> *out);
uint16_t ConsoleBurstAttr(uint32_t n);
// Row set to text (cut or padded with blanks): PKT_CONSOLE_LINE. 0 when row is off the screen.
int SimConsoleSetLine(SimConsole *c, int row, const std::string &text, std::vector<uint8_t> *out);
// PKT_CONSOLE_CURSOR with the values as given (they are stored only when on the screen).
void SimConsoleSetCursor(SimConsole *c, int16_t x, int16_t y, uint32_t size, uint32_t visible,
                         std::vector<uint8_t> *out);
// PKT_CONSOLE_STOP.
void SimConsoleClose(SimConsole *c, std::vector<uint8_t> *out);
// A key event from the viewer: a press of a letter, digit or blank is written at the
// cursor, Enter starts the next row (scrolling at the bottom), Backspace takes back one
// cell, Ctrl+C writes "^C" and starts the next row. Returns the rows changed (the
// packets appended: the rows, then the cursor), 0 when the key changes nothing.
int SimConsoleEcho(SimConsole *c, const SimInput *key, std::vector<uint8_t> *out);
// The screen as text: one line per row, every cell's character byte, '\n' after each.
std::string SimConsoleText(const SimConsole *c);
// The lines of a text file (CR LF or LF); 0 with *why when it cannot be read.
int SimConsoleReadFile(const std::string &path, std::vector<std::string> *lines, std::string *why);
