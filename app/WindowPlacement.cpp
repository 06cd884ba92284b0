#include "app/WindowPlacement.h"

#include <cmath>

namespace orvant::app {

namespace {

int RoundHalfToEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5)
        return static_cast<int>(floor) + 1;
    if (fraction < 0.5)
        return static_cast<int>(floor);
    const int f = static_cast<int>(floor);
    return f % 2 == 0 ? f : f + 1;
}

} // namespace

TPoint CentredOrigin(int screenWidth, int screenHeight, int frameWidth, int frameHeight)
{
    return {RoundHalfToEven((screenWidth - frameWidth) / 2.0),
            RoundHalfToEven((screenHeight - frameHeight) / 2.0)};
}

} // namespace orvant::app
