#pragma once

#include <QGroupBox>

namespace screen {

// A captioned frame as a frame is drawn on the desktop: the caption sits on
// the top border line, so the controls placed inside stand below the line
// with room above them, not on it. Child positions stay relative to the
// frame's top-left corner.
class CaptionFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit CaptionFrame(const QString& caption, QWidget* parent = nullptr);

    // Where the border runs: the top line passes through the caption's middle.
    QRect BorderRect() const;
    // The caption's box on the top line, with a gap either side.
    QRect CaptionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace screen
