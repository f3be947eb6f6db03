// Window sizes and positions are given in twips, 1/1440 inch.
#pragma once

#include <cmath>

namespace qzt {

inline constexpr int kTwipsPerInch = 1440;

inline int twipsToPixels(int twips, double logicalDpi)
{
    return int(std::lround(double(twips) * logicalDpi / kTwipsPerInch));
}

inline int pixelsToTwips(int pixels, double logicalDpi)
{
    return int(std::lround(double(pixels) * kTwipsPerInch / logicalDpi));
}

} // namespace qzt
