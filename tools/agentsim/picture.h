// Pictures of the simulated desktop: binary PPM in and out, and the mapping between
// 24-bit colours and the pixel values of a depth. Pure apart from the file readers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// A 24-bit picture, rows top-down, 3 bytes (red, green, blue) a pixel.
struct SimPicture {
    int width, height;
    std::vector<uint8_t> rgb;
};

// Binary PPM (P6) with a maximum sample value of 1..65535; samples are scaled to 0..255.
int PpmParse(const uint8_t *data, size_t len, SimPicture *pic, std::string *why);
int PpmLoad(const char *path, SimPicture *pic, std::string *why);
// "P6\n<w> <h>\n255\n" and the samples.
void PpmFormat(const SimPicture *pic, std::vector<uint8_t> *out);
int PpmSave(const char *path, const SimPicture *pic, std::string *why);

// Nearest-neighbour scaling that fills width x height and crops the overflow evenly.
void PictureCover(const SimPicture *src, int width, int height, SimPicture *dst);

// Colours of a depth: the table the viewer paints with (RGBQUAD entries: blue, green,
// red, 0) for 1, 4 and 8 bits; 5-5-5 values for 16 bits.
struct SimColourMap {
    int depth;
    int count; // table entries in use: 2, 16, 256, or 0 at 16 bits
    uint8_t table[256 * 4];
    std::unordered_map<uint32_t, uint16_t> nearest; // 0xRRGGBB -> value
};

void ColourMapInit(SimColourMap *m, int depth, const uint8_t *table);
// The value whose colour is nearest (squared distance, lowest index on a tie).
uint16_t ColourValue(SimColourMap *m, uint8_t r, uint8_t g, uint8_t b);
// What the viewer shows for a value: its table entry, or 5-5-5 widened as (v << 3) | (v >> 2).
void ColourOfValue(const SimColourMap *m, uint16_t value, uint8_t rgb[3]);

// The distinctive 256-colour table for --palette custom, as PKT_PALETTE entries (r, g, b, 0).
void CustomPaletteEntries(uint8_t entries[1024]);
// The viewer's default 256 colours as PKT_PALETTE entries.
void DefaultPaletteEntries(uint8_t entries[1024]);
