// Sorting of the three-column ID list views by a clicked column.
#pragma once

#include <windows.h>
#include <commctrl.h>

// 1 ascending, 2 descending; shared by every ID list view of the process and kept between dialogs.
extern int SortDirection;

// Toggles SortDirection, then sorts the clicked list by the clicked column: numerically for the
// right-aligned (ID) column, byte by byte otherwise.
void SortListByColumn(const NMLISTVIEW& click);
