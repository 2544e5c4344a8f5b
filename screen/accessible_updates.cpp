#include "screen/accessible_updates.h"

#include <QAccessible>
#include <QWidget>

#include "screen/flexgrid.h"

namespace screen {

namespace {

QAccessible::UpdateHandler previousHandler = nullptr;
void Filter(QAccessibleEvent* event);

void Forward(QAccessibleEvent* event) {
    if (previousHandler) {
        previousHandler(event);
        return;
    }
    // On to the platform, as if no handler were installed.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(Filter);
}

bool IsTextEvent(QAccessible::Event type) {
    switch (type) {
        case QAccessible::TextCaretMoved:
        case QAccessible::TextInserted:
        case QAccessible::TextRemoved:
        case QAccessible::TextUpdated:
        case QAccessible::TextSelectionChanged:
            return true;
        default:
            return false;
    }
}

void Filter(QAccessibleEvent* event) {
    if (event->type() == QAccessible::Focus && event->child() < 0) {
        auto* grid = qobject_cast<FlexGrid*>(event->object());
        if (grid && grid->hasFocus() && grid->Row() < grid->Rows() && grid->Col() < grid->Cols()) {
            QAccessibleEvent cell(grid, QAccessible::Focus);
            cell.setChild(grid->Row() * grid->Cols() + grid->Col());
            Forward(&cell);
            return;
        }
    }
    if (IsTextEvent(event->type())) {
        auto* widget = qobject_cast<QWidget*>(event->object());
        if (widget && !widget->isVisible()) return;
    }
    Forward(event);
}

}  // namespace

void InstallAccessibleUpdateFilter() {
    static const bool installed = [] {
        previousHandler = QAccessible::installUpdateHandler(Filter);
        return true;
    }();
    (void)installed;
}

}  // namespace screen
