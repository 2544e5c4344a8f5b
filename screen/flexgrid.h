#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class QPainter;
class QScrollBar;

namespace screen {

// A grid of text cells that paints itself. Rows and columns count from 0;
// the first FixedRows() rows and FixedCols() columns are headers drawn in the
// button-face colours. Exactly one cell is current; the user can only make a
// non-fixed cell current, the program any cell inside the grid.
//
// All positions and sizes are in twips and converted with the logical DPI.
// Indexes outside the grid throw std::out_of_range.
//
// Events are signals with direct connections: handlers run nested inside the
// call that raises them, and by-reference arguments are the caller's own.
class FlexGrid : public QWidget {
    Q_OBJECT

public:
    explicit FlexGrid(QWidget* parent = nullptr);
    ~FlexGrid() override;

    // The toolkit's default sans-serif family at 8.25 points, normal weight.
    static QFont GridFont();

    // Counts include the fixed rows and columns. Shrinking drops cells,
    // growing adds empty ones. The current cell is kept inside the grid
    // (and out of the fixed area where possible) without raising cell events.
    int Rows() const;
    void SetRows(int rows);
    int Cols() const;
    void SetCols(int cols);
    int FixedRows() const;
    void SetFixedRows(int rows);
    int FixedCols() const;
    void SetFixedCols(int cols);

    // "<Artikel|^Lager": headings split at '|' go into row 0 (the grid grows
    // to hold them); a leading '<' left-aligns the column, '^' centres it.
    QString FormatString() const;
    void SetFormatString(const QString& format);

    int ColWidth(int col) const;           // twips
    void SetColWidth(int col, int twips);  // twips
    int RowHeight(int row) const;          // twips; 240 unless changed
    void SetRowHeight(int row, int twips);

    QString TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, const QString& text);

    // The current cell's text.
    QString Text() const;
    void SetText(const QString& text);

    // The current cell. Assigning a different cell raises LeaveCell while the
    // old cell is still current, then EnterCell once the new one is.
    int Row() const;
    void SetRow(int row);
    int Col() const;
    void SetCol(int col);

    // The current cell relative to the grid's top-left corner, in twips,
    // after scrolling it into view.
    int CellLeft();
    int CellTop();
    int CellWidth() const;
    int CellHeight() const;
    // Any cell's pixel rectangle on the grid as painted now; empty when
    // the cell is scrolled away or lies beyond the edges.
    QRect CellRect(int row, int col) const;

    // The control's place on its parent, in twips.
    int Left() const;
    void SetLeft(int twips);
    int Top() const;
    void SetTop(int twips);
    int Width() const;
    void SetWidth(float twips);
    int Height() const;
    void SetHeight(int twips);

    // Colours as 0xAARRGGBB.
    uint32_t BackColorFixed() const;
    // Colours the current cell only, until Clear().
    void SetCellBackColor(uint32_t argb);
    uint32_t CellBackColor() const;

    // Empties every cell and removes cell colours; counts stay.
    void Clear();
    // Appends a row whose column 0 holds the text.
    void AddItem(const QString& text);
    void SetFocus();

    // First non-fixed row shown at the top (scroll position).
    int TopRow() const;

signals:
    // A character key on the grid; set KeyAscii to 0 to drop it.
    void KeyPress(int16_t& KeyAscii);
    void DblClick();
    void GotFocus();
    void LeaveCell();
    void EnterCell();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    QSize sizeHint() const override;

private:
    struct Cell {
        QString text;
        uint32_t back = 0;  // 0: the cell has no colour of its own
    };
    // A visible row or column and its pixel extent [from, to).
    struct Span {
        int index;
        int from;
        int to;
    };

    Cell& cell(int row, int col);
    const Cell& cell(int row, int col) const;
    void checkCell(int row, int col) const;
    void moveTo(int row, int col);
    void keepCurrentInside();
    int colSpan(int from, int to) const;
    int rowSpan(int from, int to) const;
    int rowTop(int row) const;
    int lastTopRow() const;
    int pageRows() const;
    void scrollTo(int top);
    void scrollToCurrent();
    void layoutScrollBar();
    int cellsWidth() const;
    std::vector<Span> visibleCols() const;
    std::vector<Span> visibleRows() const;
    bool hitTest(const QPoint& pos, int* row, int* col) const;
    void paintCell(QPainter& p, int row, int col, const QRect& rect) const;
    // Tell assistive technology; no-ops while none is listening.
    void notifyShape();
    void notifyTexts();
    void notifyCell(int row, int col);
    void notifyCurrent(int oldRow, int oldCol);

    int rows_ = 2;
    int cols_ = 2;
    int fixedRows_ = 1;
    int fixedCols_ = 1;
    int row_ = 1;
    int col_ = 1;
    int topRow_ = 1;
    int wheelDelta_ = 0;
    std::vector<Cell> cells_;  // row by row
    std::vector<int> colWidths_;
    std::vector<int> rowHeights_;
    std::vector<Qt::Alignment> colAligns_;
    QString format_;
    QScrollBar* vbar_;
};

}  // namespace screen
