#include "screen/captionframe.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace screen {

namespace {

// The caption starts this far in from the left border, and the line stops
// this far short of the text on either side.
constexpr int kCaptionIndentChars = 1;
constexpr int kCaptionGap = 2;  // pixels

}  // namespace

CaptionFrame::CaptionFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

QRect CaptionFrame::BorderRect() const {
    const int top = title().isEmpty() ? 0 : fontMetrics().height() / 2;
    return rect().adjusted(0, top, 0, 0);
}

QRect CaptionFrame::CaptionRect() const {
    if (title().isEmpty()) return {};
    const QFontMetrics metrics = fontMetrics();
    const int left = kCaptionIndentChars * metrics.averageCharWidth();
    const int width = metrics.horizontalAdvance(title()) + 2 * kCaptionGap;
    return QRect(left, 0, std::min(width, std::max(0, this->width() - 2 * left)), metrics.height());
}

void CaptionFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // An etched line, drawn here rather than by the style: some styles
    // reserve a band above the border for the caption.
    qDrawShadeRect(&painter, BorderRect(), palette(), true, 1, 0);

    const QRect caption = CaptionRect();
    if (caption.isEmpty()) return;
    // The caption interrupts the top line.
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextHideMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

}  // namespace screen
