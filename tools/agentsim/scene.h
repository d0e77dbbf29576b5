// What the simulated remote screen shows: an animated desktop, a picture, one colour,
// or the flood pattern. Frames are pure functions of the frame number and geometry.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/agentsim/options.h"
#include "tools/agentsim/picture.h"

// A plain flood (every tile, every frame) repeats this many frames, so that each step
// of the cycle can be encoded once and replayed.
enum { kSimFloodCycle = 8 };

struct SimScene {
    int kind;                        // kSimScene*
    int flood;                       // every frame changes every tile (alternating noise and gradient)
    int floodShare;                  // 1..99: a frame changes that share of the tiles, the rest as before
    std::vector<uint16_t> floodLast; // the last flood frame, for floodShare
    uint8_t solid[3];
    SimPicture picture; // file scene as loaded
    SimPicture covered; // the picture scaled to the last geometry asked for
    uint8_t screen;     // remote screen shown, 1-based (0 counts as 1); screens from 2 on
                        // show their number and the demo a background of their own
    int fillOn;         // a rectangle of one colour drawn over every frame (control: fill)
    int fill[4];        // x, y, width, height
    uint8_t fillRgb[3];
};

// Loads the picture of a file scene; the screen shown is opt's current one. Returns 0 with the reason in *why.
int SceneInit(SimScene *s, const SimOptions *opt, std::string *why);
// Whether frames differ from one another (demo and flood).
int SceneAnimated(const SimScene *s);
// Pixel values (table indices, or 5-5-5 at 16 bits) of frame number frame, top-down,
// width * height of them.
void SceneRender(SimScene *s, uint32_t frame, int width, int height, SimColourMap *colours,
                 std::vector<uint16_t> *pixels);
