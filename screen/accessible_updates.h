#pragma once

namespace screen {

// Corrects what Qt tells screen readers before it goes out:
// - the focus of a FlexGrid is reported as the focus of its current cell,
//   as Qt reports a widget's focus only after the widget's own focus-in
//   handling and a reader would end on the table, not the cell;
// - a hidden text box tells nothing of its text and caret, which the window
//   sets before showing it: a reader would take the box for the focus
//   before it is even shown, and then not announce it when it is.
// Installed once, whoever asks first; an update handler installed before is
// kept and called.
void InstallAccessibleUpdateFilter();

}  // namespace screen
