#pragma once

namespace screen {

// Makes screen readers see every FlexGrid as a table of cells, with the
// heading row and the first column as headers and the current cell as the
// selected and, while the grid has the focus, focused one. Safe to call
// more than once.
void InstallFlexGridAccessible();

}  // namespace screen
