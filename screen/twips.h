#pragma once

// Geometry on screen is kept in twips (1/1440 inch) and turned into pixels
// with the widget's logical DPI, so layouts keep their size on any display.

class QWidget;

namespace screen {

inline constexpr int kTwipsPerInch = 1440;

// Pixels for a length in twips at the given logical DPI, rounded to nearest.
int TwipsToPixels(int twips, double dpi);
// Twips for a length in pixels at the given logical DPI, rounded to nearest.
int PixelsToTwips(int pixels, double dpi);

// Same, using the horizontal or vertical logical DPI of a widget.
int TwipsToPixelsX(const QWidget* w, int twips);
int TwipsToPixelsY(const QWidget* w, int twips);
int PixelsToTwipsX(const QWidget* w, int pixels);
int PixelsToTwipsY(const QWidget* w, int pixels);

}  // namespace screen

namespace screen {

// Places a widget on its parent by a rectangle in twips.
void MoveTwips(QWidget* w, int left, int top, int width, int height);

}  // namespace screen
