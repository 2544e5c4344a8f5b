#pragma once

#include <QLineEdit>
#include <QPointer>
#include <cstdint>

namespace screen {

// A single-line text box with twips geometry and key events raised before
// the box handles the key.
class TextBox : public QLineEdit {
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);

    // Caret position in characters; past the end puts it at the end.
    int SelStart() const;
    void SetSelStart(int pos);

    // Whether the box is set to be shown, independent of whether its window
    // is on screen yet.
    bool Visible() const;
    void SetVisible(bool visible);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int twips);
    void SetTop(int twips);
    void SetWidth(int twips);
    void SetHeight(int twips);
    void Move(int left, int top, int width, int height);

    void SetFocus();

signals:
    // Raised when a key goes down, before the box sees it. KeyCode is the
    // Windows virtual-key code (13 Enter, 27 Escape, 38 Up, 40 Down, ...),
    // Shift the modifier mask (1 Shift, 2 Ctrl, 4 Alt). Setting KeyCode to 0
    // swallows the key.
    void KeyDown(int16_t& KeyCode, int16_t& Shift);
    // Raised for a character key before it is inserted; 0 drops it.
    void KeyPress(int16_t& KeyAscii);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The control the focus came from, where it returns when the box hides.
    QPointer<QWidget> cameFrom_;
};

}  // namespace screen
