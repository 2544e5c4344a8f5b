#include "screen/flexgrid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "screen/flexgrid_accessible.h"
#include "screen/keycodes.h"
#include "screen/twips.h"

namespace screen {

namespace {

constexpr int kDefaultColWidth = 960;
constexpr int kDefaultRowHeight = 240;
constexpr int kTextPadding = 2;  // pixels between the grid line and the text
constexpr int kSizeHintRows = 10;
// For the heading marks '<', '^' and '>'.
constexpr Qt::Alignment kAlignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};

void checkIndex(int index, int count, const char* what) {
    if (index < 0 || index >= count) throw std::out_of_range(what);
}

}  // namespace

FlexGrid::FlexGrid(QWidget* parent)
    : QWidget(parent),
      cells_(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_)),
      colWidths_(cols_, kDefaultColWidth),
      rowHeights_(rows_, kDefaultRowHeight),
      colAligns_(cols_, Qt::AlignLeft),
      vbar_(new QScrollBar(Qt::Vertical, this)) {
    InstallFlexGridAccessible();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel
    setFont(GridFont());
    vbar_->setFocusPolicy(Qt::NoFocus);  // the keyboard stays with the grid
    // A flat scroll bar, like the cells: gradient styles can hand their fills
    // to other threads, and the grid's paint would wait on them.
    if (QStyle* flat = QStyleFactory::create(QStringLiteral("Windows"))) {
        flat->setParent(this);
        vbar_->setStyle(flat);
    }
    vbar_->hide();
    connect(vbar_, &QScrollBar::valueChanged, this, &FlexGrid::scrollTo);
}

FlexGrid::~FlexGrid() = default;

// --- Shape -------------------------------------------------------------------

int FlexGrid::Rows() const { return rows_; }

void FlexGrid::SetRows(int rows) {
    if (rows < fixedRows_) throw std::out_of_range("FlexGrid: fewer rows than fixed rows");
    const bool changed = rows != rows_;
    rows_ = rows;
    cells_.resize(static_cast<size_t>(rows_) * cols_);
    rowHeights_.resize(rows_, kDefaultRowHeight);
    keepCurrentInside();
    if (changed) notifyShape();
}

int FlexGrid::Cols() const { return cols_; }

void FlexGrid::SetCols(int cols) {
    if (cols < fixedCols_) throw std::out_of_range("FlexGrid: fewer columns than fixed columns");
    const bool changed = cols != cols_;
    std::vector<Cell> cells(static_cast<size_t>(rows_) * cols);
    const int kept = std::min(cols, cols_);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < kept; ++c) cells[r * cols + c] = std::move(cell(r, c));
    }
    cells_ = std::move(cells);
    cols_ = cols;
    colWidths_.resize(cols_, kDefaultColWidth);
    colAligns_.resize(cols_, Qt::AlignLeft);
    keepCurrentInside();
    if (changed) notifyShape();
}

int FlexGrid::FixedRows() const { return fixedRows_; }

void FlexGrid::SetFixedRows(int rows) {
    checkIndex(rows, rows_ + 1, "FlexGrid: fixed rows");
    const bool changed = rows != fixedRows_;
    fixedRows_ = rows;
    keepCurrentInside();
    if (changed) notifyShape();  // header roles change
}

int FlexGrid::FixedCols() const { return fixedCols_; }

void FlexGrid::SetFixedCols(int cols) {
    checkIndex(cols, cols_ + 1, "FlexGrid: fixed columns");
    const bool changed = cols != fixedCols_;
    fixedCols_ = cols;
    keepCurrentInside();
    if (changed) notifyShape();
}

QString FlexGrid::FormatString() const { return format_; }

void FlexGrid::SetFormatString(const QString& format) {
    format_ = format;
    if (format.isEmpty()) return;
    const QStringList headings = format.split(QLatin1Char('|'));
    if (rows_ == 0) SetRows(1);
    if (headings.size() > cols_) SetCols(static_cast<int>(headings.size()));
    for (int c = 0; c < headings.size(); ++c) {
        QString heading = headings[c];
        const auto mark = heading.isEmpty() ? -1 : QStringLiteral("<^>").indexOf(heading.front());
        if (mark >= 0) {
            colAligns_[c] = kAlignments[mark];
            heading.remove(0, 1);
        }
        cell(0, c).text = heading;
    }
    update();
    notifyTexts();
}

int FlexGrid::ColWidth(int col) const {
    checkIndex(col, cols_, "FlexGrid: column");
    return colWidths_[col];
}

void FlexGrid::SetColWidth(int col, int twips) {
    checkIndex(col, cols_, "FlexGrid: column");
    colWidths_[col] = std::max(0, twips);
    update();
}

int FlexGrid::RowHeight(int row) const {
    checkIndex(row, rows_, "FlexGrid: row");
    return rowHeights_[row];
}

void FlexGrid::SetRowHeight(int row, int twips) {
    checkIndex(row, rows_, "FlexGrid: row");
    rowHeights_[row] = std::max(0, twips);
    layoutScrollBar();
}

// --- Cells -------------------------------------------------------------------

FlexGrid::Cell& FlexGrid::cell(int row, int col) { return cells_[row * cols_ + col]; }

const FlexGrid::Cell& FlexGrid::cell(int row, int col) const { return cells_[row * cols_ + col]; }

void FlexGrid::checkCell(int row, int col) const {
    checkIndex(row, rows_, "FlexGrid: row");
    checkIndex(col, cols_, "FlexGrid: column");
}

QString FlexGrid::TextMatrix(int row, int col) const {
    checkCell(row, col);
    return cell(row, col).text;
}

void FlexGrid::SetTextMatrix(int row, int col, const QString& text) {
    checkCell(row, col);
    cell(row, col).text = text;
    update();
    notifyCell(row, col);
}

QString FlexGrid::Text() const { return TextMatrix(row_, col_); }

void FlexGrid::SetText(const QString& text) { SetTextMatrix(row_, col_, text); }

uint32_t FlexGrid::BackColorFixed() const { return palette().color(QPalette::Button).rgba(); }

void FlexGrid::SetCellBackColor(uint32_t argb) {
    checkCell(row_, col_);
    cell(row_, col_).back = argb;
    update();
}

uint32_t FlexGrid::CellBackColor() const {
    checkCell(row_, col_);
    return cell(row_, col_).back;
}

void FlexGrid::Clear() {
    for (Cell& c : cells_) c = Cell();
    update();
    notifyTexts();
}

void FlexGrid::AddItem(const QString& text) {
    SetRows(rows_ + 1);
    const QStringList fields = text.split(QLatin1Char('\t'));
    for (int c = 0; c < std::min(static_cast<int>(fields.size()), cols_); ++c) {
        cell(rows_ - 1, c).text = fields[c];
    }
}

// --- Current cell --------------------------------------------------------------

int FlexGrid::Row() const { return row_; }

void FlexGrid::SetRow(int row) {
    checkIndex(row, rows_, "FlexGrid: row");
    moveTo(row, col_);
}

int FlexGrid::Col() const { return col_; }

void FlexGrid::SetCol(int col) {
    checkIndex(col, cols_, "FlexGrid: column");
    moveTo(row_, col);
}

// The one path for every move, by program or by the user.
void FlexGrid::moveTo(int row, int col) {
    if (row == row_ && col == col_) return;
    const int oldRow = row_;
    const int oldCol = col_;
    emit LeaveCell();
    // The handler may have reshaped the grid; stay inside it.
    row_ = std::clamp(row, 0, std::max(0, rows_ - 1));
    col_ = std::clamp(col, 0, std::max(0, cols_ - 1));
    scrollToCurrent();
    update();
    notifyCurrent(oldRow, oldCol);
    emit EnterCell();
}

// After a structural change; silent, as no cell was left by choice.
void FlexGrid::keepCurrentInside() {
    const auto keep = [](int current, int fixed, int count) {
        if (count > fixed) return std::clamp(current, fixed, count - 1);
        return std::clamp(current, 0, std::max(0, count - 1));
    };
    row_ = keep(row_, fixedRows_, rows_);
    col_ = keep(col_, fixedCols_, cols_);
    layoutScrollBar();
}

int FlexGrid::CellLeft() {
    scrollToCurrent();
    return colSpan(0, col_);
}

int FlexGrid::CellTop() {
    scrollToCurrent();
    return rowTop(row_);
}

int FlexGrid::CellWidth() const { return col_ < cols_ ? colWidths_[col_] : 0; }

int FlexGrid::CellHeight() const { return row_ < rows_ ? rowHeights_[row_] : 0; }

QRect FlexGrid::CellRect(int row, int col) const {
    checkCell(row, col);
    const auto find = [](const std::vector<Span>& spans, int index) {
        return std::find_if(spans.begin(), spans.end(),
                            [index](const Span& s) { return s.index == index; });
    };
    const std::vector<Span> cols = visibleCols();
    const std::vector<Span> rows = visibleRows();
    const auto c = find(cols, col);
    const auto r = find(rows, row);
    if (c == cols.end() || r == rows.end()) return {};
    const QRect rect(QPoint(c->from, r->from), QPoint(c->to - 1, r->to - 1));
    return rect.intersected(QRect(0, 0, cellsWidth(), height()));
}

// --- Placement on the parent -----------------------------------------------------

int FlexGrid::Left() const { return PixelsToTwipsX(this, x()); }
void FlexGrid::SetLeft(int twips) { move(TwipsToPixelsX(this, twips), y()); }
int FlexGrid::Top() const { return PixelsToTwipsY(this, y()); }
void FlexGrid::SetTop(int twips) { move(x(), TwipsToPixelsY(this, twips)); }
int FlexGrid::Width() const { return PixelsToTwipsX(this, width()); }

void FlexGrid::SetWidth(float twips) {
    resize(static_cast<int>(std::lround(twips * logicalDpiX() / kTwipsPerInch)), height());
}

int FlexGrid::Height() const { return PixelsToTwipsY(this, height()); }
void FlexGrid::SetHeight(int twips) { resize(width(), TwipsToPixelsY(this, twips)); }

void FlexGrid::SetFocus() {
    // Also names the grid the window's focus widget while the window is inactive.
    setFocus(Qt::OtherFocusReason);
}

// --- Scrolling -------------------------------------------------------------------

int FlexGrid::colSpan(int from, int to) const {
    int twips = 0;
    for (int c = from; c < to; ++c) twips += colWidths_[c];
    return twips;
}

int FlexGrid::rowSpan(int from, int to) const {
    int twips = 0;
    for (int r = from; r < to; ++r) twips += rowHeights_[r];
    return twips;
}

// Twips from the top edge; a non-fixed row must not be scrolled away.
int FlexGrid::rowTop(int row) const {
    if (row < fixedRows_) return rowSpan(0, row);
    return rowSpan(0, fixedRows_) + rowSpan(topRow_, row);
}

int FlexGrid::TopRow() const { return topRow_; }

// The highest TopRow that still leaves no empty space below the last row.
int FlexGrid::lastTopRow() const {
    int top = rows_;
    int twips = rowSpan(0, fixedRows_);
    while (top > fixedRows_) {
        twips += rowHeights_[top - 1];
        if (top < rows_ && TwipsToPixelsY(this, twips) > height()) break;
        --top;
    }
    return top;
}

// Non-fixed rows fully shown from TopRow; at least one.
int FlexGrid::pageRows() const {
    int rows = 0;
    int twips = rowSpan(0, fixedRows_);
    for (int r = topRow_; r < rows_; ++r) {
        twips += rowHeights_[r];
        if (TwipsToPixelsY(this, twips) > height()) break;
        ++rows;
    }
    return std::max(1, rows);
}

void FlexGrid::scrollTo(int top) {
    top = std::clamp(top, fixedRows_, std::max(fixedRows_, lastTopRow()));
    if (top == topRow_) return;
    topRow_ = top;
    const QSignalBlocker block(vbar_);
    vbar_->setValue(topRow_);
    update();
}

void FlexGrid::scrollToCurrent() {
    if (row_ < fixedRows_ || row_ >= rows_) return;
    if (row_ < topRow_) {
        topRow_ = row_;
    } else {
        // The highest top row that still shows the current row whole.
        int top = row_;
        int twips = rowSpan(0, fixedRows_) + rowHeights_[row_];
        while (top > std::max(fixedRows_, topRow_)) {
            twips += rowHeights_[top - 1];
            if (TwipsToPixelsY(this, twips) > height()) break;
            --top;
        }
        topRow_ = std::max(topRow_, top);
    }
    const QSignalBlocker block(vbar_);
    vbar_->setValue(topRow_);
    update();
}

void FlexGrid::layoutScrollBar() {
    const int last = std::max(fixedRows_, lastTopRow());
    topRow_ = std::clamp(topRow_, fixedRows_, last);
    const QSignalBlocker block(vbar_);
    vbar_->setRange(fixedRows_, last);
    vbar_->setPageStep(pageRows());
    vbar_->setValue(topRow_);
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, vbar_);
    vbar_->setGeometry(width() - extent, 0, extent, height());
    vbar_->setVisible(last > fixedRows_);
    update();
}

int FlexGrid::cellsWidth() const { return vbar_->isHidden() ? width() : width() - vbar_->width(); }

std::vector<FlexGrid::Span> FlexGrid::visibleCols() const {
    std::vector<Span> spans;
    int twips = 0;
    for (int c = 0; c < cols_; ++c) {
        const int x = TwipsToPixelsX(this, twips);
        if (x >= cellsWidth()) break;
        twips += colWidths_[c];
        spans.push_back({c, x, TwipsToPixelsX(this, twips)});
    }
    return spans;
}

// Fixed rows, then the rows from TopRow down to the bottom edge only.
std::vector<FlexGrid::Span> FlexGrid::visibleRows() const {
    std::vector<Span> spans;
    int twips = 0;
    const auto add = [&](int r) {
        const int y = TwipsToPixelsY(this, twips);
        if (y >= height()) return false;
        twips += rowHeights_[r];
        spans.push_back({r, y, TwipsToPixelsY(this, twips)});
        return true;
    };
    for (int r = 0; r < fixedRows_; ++r) {
        if (!add(r)) return spans;
    }
    for (int r = topRow_; r < rows_; ++r) {
        if (!add(r)) break;
    }
    return spans;
}

bool FlexGrid::hitTest(const QPoint& pos, int* row, int* col) const {
    const auto find = [](const std::vector<Span>& spans, int v, int* index) {
        for (const Span& s : spans) {
            if (v >= s.from && v < s.to) {
                *index = s.index;
                return true;
            }
        }
        return false;
    };
    return find(visibleCols(), pos.x(), col) && find(visibleRows(), pos.y(), row);
}

// --- Painting ----------------------------------------------------------------------

void FlexGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    const std::vector<Span> cols = visibleCols();
    for (const Span& r : visibleRows()) {
        for (const Span& c : cols) {
            paintCell(p, r.index, c.index,
                      QRect(QPoint(c.from, r.from), QPoint(c.to - 1, r.to - 1)));
        }
    }
}

void FlexGrid::paintCell(QPainter& p, int row, int col, const QRect& rect) const {
    if (rect.width() < 2 || rect.height() < 2) return;
    const QPalette& pal = palette();
    const Cell& c = cell(row, col);
    const bool fixed = row < fixedRows_ || col < fixedCols_;
    const bool current = row == row_ && col == col_;
    QColor back = pal.color(fixed ? QPalette::Button : QPalette::Base);
    QColor fore = pal.color(fixed ? QPalette::ButtonText : QPalette::Text);
    if (c.back != 0) {
        back = QColor::fromRgba(c.back);
    } else if (current && !fixed && hasFocus()) {
        back = pal.color(QPalette::Highlight);
        fore = pal.color(QPalette::HighlightedText);
    }
    // The grid line takes the last pixel column and row of the cell.
    p.fillRect(rect, pal.color(QPalette::Mid));
    const QRect inner = rect.adjusted(0, 0, -1, -1);
    p.fillRect(inner, back);

    p.setPen(fore);
    const QRect textRect = inner.adjusted(kTextPadding, 0, -kTextPadding, 0);
    const QString text = fontMetrics().elidedText(c.text, Qt::ElideRight, textRect.width());
    const auto flags = static_cast<int>(colAligns_[col] | Qt::AlignVCenter | Qt::TextSingleLine);
    p.drawText(textRect, flags, text);

    // The driver must always see where he is, even without the focus.
    if (current) {
        p.setPen(QPen(fore, 1, Qt::DotLine));
        p.drawRect(inner.adjusted(1, 1, -2, -2));
    }
}

QSize FlexGrid::sizeHint() const {
    return QSize(TwipsToPixelsX(this, colSpan(0, cols_)),
                 TwipsToPixelsY(this, rowSpan(0, std::min(rows_, kSizeHintRows))));
}

// --- Accessibility -------------------------------------------------------------------

void FlexGrid::notifyShape() { AnnounceGridShape(*this); }

void FlexGrid::notifyTexts() { AnnounceGridTexts(*this); }

void FlexGrid::notifyCell(int row, int col) { AnnounceCellText(*this, row, col); }

void FlexGrid::notifyCurrent(int oldRow, int oldCol) { AnnounceCurrentCell(*this, oldRow, oldCol); }

// --- Input -------------------------------------------------------------------------

void FlexGrid::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const int ascii = KeyAsciiOf(event);
    if (ascii != -1 && key != Qt::Key_Tab && key != Qt::Key_Backtab) {
        auto keyAscii = static_cast<int16_t>(ascii);
        emit KeyPress(keyAscii);
        event->accept();
        return;
    }
    if (rows_ <= fixedRows_ || cols_ <= fixedCols_) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int row = row_;
    int col = col_;
    switch (key) {
        case Qt::Key_Up:
            --row;
            break;
        case Qt::Key_Down:
            ++row;
            break;
        case Qt::Key_Left:
            --col;
            break;
        case Qt::Key_Right:
            ++col;
            break;
        case Qt::Key_PageUp:
            row -= pageRows();
            break;
        case Qt::Key_PageDown:
            row += pageRows();
            break;
        case Qt::Key_Home:
            col = fixedCols_;
            if (ctrl) row = fixedRows_;
            break;
        case Qt::Key_End:
            col = cols_ - 1;
            if (ctrl) row = rows_ - 1;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
    moveTo(std::clamp(row, fixedRows_, rows_ - 1), std::clamp(col, fixedCols_, cols_ - 1));
}

void FlexGrid::mousePressEvent(QMouseEvent* event) {
    // Focus first, so GotFocus handlers still see the old cell.
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    event->accept();
    int row = 0;
    int col = 0;
    if (event->button() == Qt::LeftButton && hitTest(event->position().toPoint(), &row, &col) &&
        row >= fixedRows_ && col >= fixedCols_) {
        moveTo(row, col);
    }
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // Stands in for the second press of the pair.
    mousePressEvent(event);
    // Only the primary button opens an entry; the others have no meaning here.
    if (event->button() == Qt::LeftButton) emit DblClick();
}

QFont FlexGrid::GridFont() {
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setFamily(f.defaultFamily());
    f.setPointSizeF(8.25);
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

void FlexGrid::wheelEvent(QWheelEvent* event) {
    // Fine-grained wheels send fractions of a step; collect them.
    wheelDelta_ += event->angleDelta().y();
    const int steps = wheelDelta_ / QWheelEvent::DefaultDeltasPerStep;
    wheelDelta_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    scrollTo(topRow_ - steps * QApplication::wheelScrollLines());
    event->accept();
}

void FlexGrid::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    emit GotFocus();
}

void FlexGrid::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void FlexGrid::resizeEvent(QResizeEvent*) { layoutScrollBar(); }

void FlexGrid::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange) layoutScrollBar();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) update();
}

}  // namespace screen
