#include "screen/twips.h"

#include <QWidget>
#include <cmath>

namespace screen {

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

int PixelsToTwips(int pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpi));
}

int TwipsToPixelsX(const QWidget* w, int twips) { return TwipsToPixels(twips, w->logicalDpiX()); }
int TwipsToPixelsY(const QWidget* w, int twips) { return TwipsToPixels(twips, w->logicalDpiY()); }
int PixelsToTwipsX(const QWidget* w, int pixels) { return PixelsToTwips(pixels, w->logicalDpiX()); }
int PixelsToTwipsY(const QWidget* w, int pixels) { return PixelsToTwips(pixels, w->logicalDpiY()); }

}  // namespace screen

namespace screen {

void MoveTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(TwipsToPixelsX(w, left), TwipsToPixelsY(w, top), TwipsToPixelsX(w, width),
                   TwipsToPixelsY(w, height));
}

}  // namespace screen
