// The simulated Agent's desktop: per tile what the viewer holds (the model) and what the
// scene shows (the frame), the viewer's visible tile range, and the rounds of screen
// parts that bring the visible tiles up to date. Every part is applied to the model
// with the viewer's own decoders, so the model is what the viewer holds. Pure; the
// socket loop and the tests drive it alike.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "desktop/tiles.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/picture.h"

struct SimTileRange {
    uint8_t firstColumn, columnCount, firstRow, rowCount; // {0,0,0,0}: nothing visible
};

enum { kSimPartKinds = 3 }; // types 5, 7 and 8, in that order

struct SimDesktop {
    int served;   // the last screen info announced a geometry parts can serve
    int gridSeen; // PKT_VIEW_GRID came after that screen info: parts may flow
    SimTileRange range;
    TileLayout layout;
    SimColourMap colours;                   // the table the viewer paints with (default, or the palette sent)
    uint8_t palette[1024];                  // PKT_PALETTE entries (r, g, b, 0) when the depth is 8
    std::vector<uint8_t> model[kTileCount]; // tile buffers in the viewer's layout
    std::vector<uint8_t> frame[kTileCount];
    uint8_t sent[kTileCount];                                    // a part went out for the tile
    uint32_t partsCounted;                                       // parts since the last sent-tiles query
    uint32_t mismatches;                                         // tiles whose model missed the frame after a part
    uint64_t partCount[kSimPartKinds], partBytes[kSimPartKinds]; // since the last summary
};

// The whole PKT_PALETTE packet for an 8-bit screen (the default or custom table).
void SimAppendPalette(const SimOptions *opt, std::vector<uint8_t> *out);

// Resets the desktop for the geometry in opt (planes 1): model and frame zero, no range.
// Returns 0, with the reason, when parts cannot serve it (depth other than 1, 4, 8, 16,
// a side under 32 pixels, or a tile too big for one packet).
int DesktopStart(SimDesktop *d, const SimOptions *opt, std::string *why);
// Stops parts until the next PKT_VIEW_GRID (a restart is on its way to the viewer).
void DesktopHold(SimDesktop *d);
// PKT_VIEW_GRID (grid 1) or PKT_SCREEN_REFRESH_RECT payload: {column, count, row, count}.
// A view grid means a new build: the viewer's tiles are zero.
void DesktopSetRange(SimDesktop *d, const uint8_t payload[4], int grid);
// Whether tile (row, column) lies in the visible range.
int DesktopVisible(const SimDesktop *d, int row, int column);

// Takes a new frame: width * height pixel values, top-down.
void DesktopLoadFrame(SimDesktop *d, const uint16_t *pixels);
// Appends one part packet for each visible tile whose model differs from the frame and
// applies it to the model. Returns the parts appended; none before PKT_VIEW_GRID.
size_t DesktopRound(SimDesktop *d, std::vector<uint8_t> *out);
// Whether every visible tile holds the frame.
int DesktopInSync(const SimDesktop *d);

// The model (model 1) or the frame composed into one picture in the viewer's colours.
void DesktopPicture(const SimDesktop *d, int model, SimPicture *pic);

// One pixel of a tile buffer; x and y from the tile's top-left corner.
uint16_t TileGetPixel(const TileGeometry *g, int depth, const uint8_t *bits, int x, int y);
void TileSetPixel(const TileGeometry *g, int depth, uint8_t *bits, int x, int y, uint16_t v);
