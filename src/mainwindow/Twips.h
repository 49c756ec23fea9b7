#pragma once
// Layout values are given in twips; 15 twips make one pixel at 96 dots per inch (Qt scales the
// pixels for high-density screens).

namespace quillory::mainwindow {

inline constexpr int kTwipsPerPixel = 15;

// Rounded to the nearest pixel.
constexpr int TwipsToPixels(int twips) {
    return (2 * twips + kTwipsPerPixel) / (2 * kTwipsPerPixel);
}

} // namespace quillory::mainwindow
