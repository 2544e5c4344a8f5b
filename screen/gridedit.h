#pragma once

// Editing a grid cell through a text box laid over it. The two procedures
// serve any grid and text box offering the members they use: the grid's
// Text, Left, Top, CellLeft, CellTop, CellWidth, CellHeight, SetFocus, Row,
// SetRow, FixedRows and Rows; the box's SetText, SetSelStart, Move,
// SetVisible and SetFocus.

#include <QChar>
#include <QString>
#include <cstdint>

#include "screen/events.h"
#include "screen/keycodes.h"

namespace screen {

// The box's margin inside the cell, in twips.
inline constexpr int kEditMargin = 8;

// Opens an entry over the grid's current cell. A control character or the
// space keeps the cell's text with the caret at its end; any other character
// replaces the text, the caret after it.
template <typename Grid, typename Edit>
void FlexGridEdit(Grid& grid, Edit& edt, int16_t& KeyAscii) {
    if (KeyAscii >= 0 && KeyAscii <= kCharSpace) {
        edt.SetText(grid.Text());
        edt.SetSelStart(1000);
    } else {
        edt.SetText(QString(QChar(static_cast<char16_t>(KeyAscii))));
        edt.SetSelStart(1);
    }
    const int left = grid.Left();
    const int cellLeft = grid.CellLeft();
    const int top = grid.Top();
    const int cellTop = grid.CellTop();
    const int width = grid.CellWidth();
    const int height = grid.CellHeight();
    edt.Move(left + cellLeft, top + cellTop, width - kEditMargin, height - kEditMargin);
    edt.SetVisible(true);
    edt.SetFocus();
}

// The editor's special keys. Enter and the arrows hand the focus back to the
// grid, whose focus event commits the entry; Escape hides the box first, so
// nothing is committed. Up and Down then move one row where they can.
template <typename Grid, typename Edit>
void EditKeyCode(Grid& grid, Edit& edt, int16_t& KeyCode, int16_t& /*Shift*/) {
    switch (KeyCode) {
        case kKeyEnter:
            grid.SetFocus();
            break;
        case kKeyEscape:
            edt.SetVisible(false);
            grid.SetFocus();
            break;
        case kKeyUp:
            grid.SetFocus();
            ProcessEvents();  // the commit has run before the row is read
            if (grid.Row() > grid.FixedRows()) grid.SetRow(grid.Row() - 1);
            break;
        case kKeyDown:
            grid.SetFocus();
            ProcessEvents();
            if (grid.Row() < grid.Rows() - 1) grid.SetRow(grid.Row() + 1);
            break;
        default:
            break;
    }
}

}  // namespace screen
