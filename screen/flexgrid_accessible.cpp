#include "screen/flexgrid_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QRect>
#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include "screen/accessible_updates.h"
#include "screen/flexgrid.h"

namespace screen {

namespace {

// The heading over a column: the text of the last fixed row.
QString ColumnHeading(const FlexGrid& grid, int col) {
    const int row = grid.FixedRows() - 1;
    if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols()) return {};
    return grid.TextMatrix(row, col);
}

// Only the first column names a row; further fixed columns hold data.
QString RowHeading(const FlexGrid& grid, int row) {
    if (grid.FixedCols() == 0 || grid.Cols() == 0 || row < grid.FixedRows() || row >= grid.Rows())
        return {};
    return grid.TextMatrix(row, 0);
}

class CellAccessible;

// Runs a call once the current event has been handled, on a posted event to
// itself; a child of the grid, so that it goes with the grid.
class Teller : public QObject {
public:
    Teller(QObject* parent, std::function<void()> call) : QObject(parent), call_(std::move(call)) {}

    void Post() { QCoreApplication::postEvent(this, new QEvent(kTell)); }

protected:
    bool event(QEvent* event) override {
        if (event->type() != kTell) return QObject::event(event);
        call_();
        return true;
    }

private:
    static inline const QEvent::Type kTell = static_cast<QEvent::Type>(QEvent::registerEventType());
    std::function<void()> call_;
};

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(FlexGrid* grid)
        : QAccessibleWidget(grid, QAccessible::Table), rows_(grid->Rows()), cols_(grid->Cols()) {}

    ~GridAccessible() override {
        delete teller_;
        for (const auto& [cell, told] : cells_) QAccessible::deleteAccessibleInterface(told.id);
    }

    FlexGrid* grid() const { return static_cast<FlexGrid*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // Cells only, row by row; the scroll bar is left to the mouse.
    int childCount() const override { return isValid() ? grid()->Rows() * grid()->Cols() : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        return cellAt(index / grid()->Cols(), index % grid()->Cols());
    }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override {
        return isValid() ? cellAt(grid()->Row(), grid()->Col()) : nullptr;
    }

    // The window's labels name the table; it has no caption or summary of its own.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int col) const override;
    int rowCount() const override { return isValid() ? grid()->Rows() : 0; }
    int columnCount() const override { return isValid() ? grid()->Cols() : 0; }
    QString columnDescription(int col) const override {
        return isValid() ? ColumnHeading(*grid(), col) : QString();
    }
    QString rowDescription(int row) const override {
        return isValid() ? RowHeading(*grid(), row) : QString();
    }

    // The current cell is the one selection; whole rows and columns never are.
    int selectedCellCount() const override { return focusChild() ? 1 : 0; }
    QList<QAccessibleInterface*> selectedCells() const override {
        QAccessibleInterface* current = focusChild();
        return current ? QList<QAccessibleInterface*>{current} : QList<QAccessibleInterface*>{};
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { dropCellsOutside(); }

    // Sends name and description changes for the cells whose texts, as a
    // reader hears them, differ from what it was last told. Sent once the
    // current event has been handled, so that a page drawn cell by cell
    // is told as one change, not as a flood readers drop.
    void AnnounceTexts(int firstRow, int lastRow, int firstCol, int lastCol);
    // The cell left is no longer selected, the new one is.
    void AnnounceMove(int oldRow, int oldCol);

private:
    void tellTexts();

    QRect untold_;  // columns across, rows down
    bool tellQueued_ = false;
    QPointer<Teller> teller_;  // a child of the grid, deleted with this

    // Cells left outside a shrunken grid are deleted when Qt reports the
    // change or at the next question; the others keep their ids, as they read
    // the grid afresh anyway.
    void dropCellsOutside() const;

    // What a reader was last told of a cell, to announce only real changes.
    struct Told {
        QAccessible::Id id{};
        QString name;
        QString description;
    };
    mutable std::map<std::pair<int, int>, Told> cells_;
    mutable int rows_;
    mutable int cols_;
};

// A cell reads the grid on every call, so it never shows an old page.
class CellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    CellAccessible(const GridAccessible* table, int row, int col)
        : table_(table), row_(row), col_(col) {}

    bool isValid() const override {
        return table_->isValid() && row_ < grid().Rows() && col_ < grid().Cols();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return table_->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return table(); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text type) const override {
        if (!isValid()) return {};
        if (type == QAccessible::Name) return name();
        if (type == QAccessible::Description) return context();
        return {};
    }

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect local = grid().CellRect(row_, col_);
        return local.isEmpty() ? QRect() : QRect(grid().mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::Role role() const override {
        if (!isValid()) return QAccessible::NoRole;
        if (row_ < grid().FixedRows()) return QAccessible::ColumnHeader;
        if (col_ == 0 && grid().FixedCols() > 0) return QAccessible::RowHeader;
        return QAccessible::Cell;
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const bool fixed = row_ < grid().FixedRows() || col_ < grid().FixedCols();
        state.focusable = state.selectable = !fixed;
        state.readOnly = fixed;
        state.selected = isSelected();
        state.focused = state.selected && grid().hasFocus();
        state.disabled = !grid().isEnabled();
        state.invisible = state.offscreen = rect().isEmpty();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override {
        return isValid() && grid().Row() == row_ && grid().Col() == col_;
    }
    // A heading is its own column's header and an article its own row's:
    // readers ask the cells of the heading row and of the first column for
    // the table's headers.
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        if (!isValid() || grid().FixedRows() == 0 || row_ < grid().FixedRows() - 1) return {};
        return {table_->cellAt(grid().FixedRows() - 1, col_)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override {
        if (!isValid() || grid().FixedCols() == 0 || row_ < grid().FixedRows()) return {};
        return {table_->cellAt(row_, 0)};
    }
    int columnIndex() const override { return col_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return const_cast<GridAccessible*>(table_); }

    const GridAccessible* owner() const { return table_; }

private:
    const FlexGrid& grid() const { return *table_->grid(); }

    // A figure beside the article (a fixed column other than the first) is
    // heard with its heading, "Lager 60": a reader goes along a row cell by
    // cell and names a column only when the column changes.
    QString name() const {
        QString text = grid().TextMatrix(row_, col_);
        const bool figure = row_ >= grid().FixedRows() && col_ > 0 && col_ < grid().FixedCols();
        const QString heading = figure ? ColumnHeading(grid(), col_) : QString();
        if (heading.isEmpty()) return text;
        const QString value = text.trimmed();
        return QStringLiteral("%1 %2").arg(heading,
                                           value.isEmpty() ? QStringLiteral("tom") : value);
    }

    // What a screen reader says beyond the bare text, e.g. "Lev för 120 Lyxfranska: 5".
    QString context() const {
        const QString heading =
            row_ >= grid().FixedRows() ? ColumnHeading(grid(), col_) : QString();
        const QString name = col_ > 0 ? RowHeading(grid(), row_) : QString();
        QString context = heading;
        if (!name.isEmpty())
            context = heading.isEmpty() ? name : QStringLiteral("%1 för %2").arg(heading, name);
        if (context.isEmpty()) return {};
        const QString value = grid().TextMatrix(row_, col_).trimmed();
        return QStringLiteral("%1: %2").arg(context,
                                            value.isEmpty() ? QStringLiteral("tom") : value);
    }

    const GridAccessible* table_;  // owns this cell and outlives it
    int row_;
    int col_;
};

QAccessibleInterface* GridAccessible::cellAt(int row, int col) const {
    dropCellsOutside();
    if (!isValid() || row < 0 || col < 0 || row >= grid()->Rows() || col >= grid()->Cols())
        return nullptr;
    auto [it, added] = cells_.try_emplace({row, col});
    if (added) {
        // Qt owns registered interfaces and deletes them with their id.
        auto* cell = new CellAccessible(this, row, col);
        it->second.name = cell->text(QAccessible::Name);
        it->second.description = cell->text(QAccessible::Description);
        // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
        it->second.id = QAccessible::registerAccessibleInterface(cell);
    }
    return QAccessible::accessibleInterface(it->second.id);
}

void GridAccessible::AnnounceTexts(int firstRow, int lastRow, int firstCol, int lastCol) {
    if (!isValid() || lastRow < firstRow || lastCol < firstCol) return;
    untold_ |= QRect(QPoint(firstCol, firstRow), QPoint(lastCol, lastRow));
    if (tellQueued_) return;
    tellQueued_ = true;
    if (!teller_)
        teller_ = new Teller(grid(), [this] {
            tellQueued_ = false;
            tellTexts();
        });
    teller_->Post();
}

void GridAccessible::tellTexts() {
    dropCellsOutside();
    const QRect untold = std::exchange(untold_, QRect());
    if (!isValid() || !QAccessible::isActive()) return;
    const int firstRow = std::max(untold.top(), 0);
    const int firstCol = std::max(untold.left(), 0);
    const int lastRow = std::min(untold.bottom(), grid()->Rows() - 1);
    const int lastCol = std::min(untold.right(), grid()->Cols() - 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            // A cell made just now was never told of; cellAt() notes its texts.
            QAccessibleInterface* cell = cellAt(row, col);
            Told& told = cells_.at({row, col});
            const QString name = cell->text(QAccessible::Name);
            const QString description = cell->text(QAccessible::Description);
            const int index = row * grid()->Cols() + col;
            if (name != told.name) {
                told.name = name;
                QAccessibleEvent event(grid(), QAccessible::NameChanged);
                event.setChild(index);
                QAccessible::updateAccessibility(&event);
            }
            if (description != told.description) {
                told.description = description;
                QAccessibleEvent event(grid(), QAccessible::DescriptionChanged);
                event.setChild(index);
                QAccessible::updateAccessibility(&event);
            }
        }
    }
}

void GridAccessible::AnnounceMove(int oldRow, int oldCol) {
    if (!isValid()) return;
    FlexGrid* g = grid();
    const auto tell = [g](int row, int col, QAccessible::Event type) {
        if (row < 0 || col < 0 || row >= g->Rows() || col >= g->Cols()) return;
        QAccessibleEvent event(g, type);
        event.setChild(row * g->Cols() + col);
        QAccessible::updateAccessibility(&event);
    };
    // The bridge reports each cell's own selected state with its event.
    if (oldRow != g->Row() || oldCol != g->Col()) tell(oldRow, oldCol, QAccessible::Selection);
    tell(g->Row(), g->Col(), QAccessible::Selection);
    if (g->hasFocus()) tell(g->Row(), g->Col(), QAccessible::Focus);
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* cell = dynamic_cast<const CellAccessible*>(child);
    if (!cell || cell->owner() != this || !cell->isValid()) return -1;
    return cell->rowIndex() * grid()->Cols() + cell->columnIndex();
}

QAccessibleInterface* GridAccessible::childAt(int x, int y) const {
    if (!isValid()) return nullptr;
    const QPoint pos = grid()->mapFromGlobal(QPoint(x, y));
    for (int row = 0; row < grid()->Rows(); ++row) {
        for (int col = 0; col < grid()->Cols(); ++col) {
            if (grid()->CellRect(row, col).contains(pos)) return cellAt(row, col);
        }
    }
    return nullptr;
}

void GridAccessible::dropCellsOutside() const {
    if (!isValid() || (grid()->Rows() == rows_ && grid()->Cols() == cols_)) return;
    rows_ = grid()->Rows();
    cols_ = grid()->Cols();
    for (auto it = cells_.begin(); it != cells_.end();) {
        if (it->first.first < rows_ && it->first.second < cols_) {
            ++it;
            continue;
        }
        QAccessible::deleteAccessibleInterface(it->second.id);
        it = cells_.erase(it);
    }
}

QAccessibleInterface* GridFactory(const QString& className, QObject* object) {
    if (className != QLatin1String(FlexGrid::staticMetaObject.className())) return nullptr;
    auto* grid = qobject_cast<FlexGrid*>(object);
    return grid ? new GridAccessible(grid) : nullptr;
}

// The grid's table while a reader listens, else null.
GridAccessible* ListeningTable(FlexGrid& grid) {
    if (!QAccessible::isActive()) return nullptr;
    return dynamic_cast<GridAccessible*>(QAccessible::queryAccessibleInterface(&grid));
}

}  // namespace

void InstallFlexGridAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(GridFactory);
        InstallAccessibleUpdateFilter();
        return true;
    }();
    (void)installed;
}

void AnnounceGridShape(FlexGrid& grid) {
    if (!ListeningTable(grid)) return;
    QAccessibleTableModelChangeEvent event(&grid, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
    // Fixed rows and columns decide how cells are named.
    if (GridAccessible* table = ListeningTable(grid))
        table->AnnounceTexts(0, grid.Rows() - 1, 0, grid.Cols() - 1);
}

void AnnounceGridTexts(FlexGrid& grid) {
    if (GridAccessible* table = ListeningTable(grid))
        table->AnnounceTexts(0, grid.Rows() - 1, 0, grid.Cols() - 1);
}

void AnnounceCellText(FlexGrid& grid, int row, int col) {
    GridAccessible* table = ListeningTable(grid);
    if (!table) return;
    // A heading is part of what its column's cells say, an article of its row's.
    const bool heading = row < grid.FixedRows();
    const bool article = col == 0 && grid.FixedCols() > 0;
    table->AnnounceTexts(heading ? 0 : row, heading ? grid.Rows() - 1 : row, article ? 0 : col,
                         article ? grid.Cols() - 1 : col);
}

void AnnounceCurrentCell(FlexGrid& grid, int oldRow, int oldCol) {
    if (GridAccessible* table = ListeningTable(grid)) table->AnnounceMove(oldRow, oldCol);
}

}  // namespace screen
