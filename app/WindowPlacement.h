#pragma once
// Where the send dialog goes: centred on the primary screen by its outer frame,
// each coordinate rounded to the nearest integer with halves to the even
// neighbour (1920 x 1080 screen, 257 x 299 frame -> 832, 390).

namespace orvant::app {

struct TPoint {
    int X = 0;
    int Y = 0;
};

TPoint CentredOrigin(int screenWidth, int screenHeight, int frameWidth, int frameHeight);

} // namespace orvant::app
