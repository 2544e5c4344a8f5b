// The in-cell editor bound to Grid1 and GridText.

#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/gridedit.h"
#include "screen/textbox.h"

namespace screen {

void Form1::Grid1_KeyPress(int16_t& KeyAscii) { FlexGridEdit(*Grid1, *GridText, KeyAscii); }

void Form1::Grid1_DblClick() {
    int16_t space = kCharSpace;  // the same as pressing the space bar
    FlexGridEdit(*Grid1, *GridText, space);
}

void Form1::GridText_KeyDown(int16_t& KeyCode, int16_t& Shift) {
    EditKeyCode(*Grid1, *GridText, KeyCode, Shift);
}

void Form1::GridText_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == kCharReturn) KeyAscii = 0;
}

void Form1::Grid1_GotFocus() { CommitEntry(); }

void Form1::Grid1_LeaveCell() { CommitEntry(); }

void Form1::Grid1_EnterCell() {
    const int row = Grid1->Row();
    const int col = Grid1->Col();
    if (row <= Grid1->FixedRows() || col <= Grid1->FixedCols()) {
        GridText->SetVisible(false);
        return;
    }
    // An editable cell outside the page layout: lay the box over it at once.
    GridText->SetText(QString());
    GridText->SetVisible(false);
    GridText->SetTop(Grid1->Top() + Grid1->CellTop());
    GridText->SetLeft(Grid1->Left() + Grid1->CellLeft());
    GridText->SetWidth(Grid1->CellWidth());
    GridText->SetHeight(Grid1->CellHeight());
    GridText->SetText(Grid1->Text());
    GridText->SetVisible(true);
    GridText->SetFocus();
}

void Form1::CommitEntry() {
    if (GridText->Visible()) {
        Grid1->SetText(GridText->Text());
        GridText->SetVisible(false);
    }
}

}  // namespace screen
