#pragma once

namespace screen {

class FlexGrid;

// Makes screen readers see every FlexGrid as a table of cells, with the
// heading row and the first column as headers and the current cell as the
// selected and, while the grid has the focus, focused one. Safe to call
// more than once.
void InstallFlexGridAccessible();

// What a grid tells screen readers of its changes; each does nothing while
// none listens. Only what a reader would hear differently is announced.
void AnnounceGridShape(FlexGrid& grid);
void AnnounceGridTexts(FlexGrid& grid);
void AnnounceCellText(FlexGrid& grid, int row, int col);
// The current cell moved from (oldRow, oldCol): selection and, while the
// grid has the focus, focus go with it.
void AnnounceCurrentCell(FlexGrid& grid, int oldRow, int oldCol);

}  // namespace screen
