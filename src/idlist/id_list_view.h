// The three-column ID list view (name, user name, job account ID) of the registered-ID and
// another-client dialogs. Every row carries a tag: the row count when it was inserted, or its own
// position once it was overwritten; the column sort orders rows by tag.
//
// The list views are owner-data lists (LVS_OWNERDATA): the rows live in the module's own store
// (idlist/id_rows), the list view keeps only their count, selection and focus and asks its parent
// for the texts of the rows it draws. The dialog holding one passes its notifications to
// AnswerIDListNotify first. Deleting rows through the list view's messages (LVM_DELETEITEM,
// LVM_DELETEALLITEMS) deletes them from the store as well.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "idlist/id_list.h"

enum : int { IdNameColumn = 0, IdUserColumn = 1, IdIDColumn = 2 };

// Makes the list view a known window class, as it must be before a dialog template holding one is
// created. False when the common controls cannot be loaded: the dialog cannot be shown then.
bool RegisterListViewClass();

// A list view of a dialog made ready for the ID lists: full-row selection, a row store of its own
// (released with the window) and no rows. The list view must have the LVS_OWNERDATA style.
void PrepareIDListView(HWND list);

// Answers what an ID list view asks its parent (`dialog`): the texts and tags of the rows it draws,
// and its searches by name or tag. False for notifications that are not such a question.
bool AnswerIDListNotify(HWND dialog, const NMHDR* header);

// The column sort of an ID list view: toggles SortDirection and orders the rows by the clicked
// column, the selection and focus staying with their rows. False when the list has no row store.
bool SortIDListByColumn(const NMLISTVIEW& click);

// The first selected row's texts; false when no row is selected.
bool FirstSelectedRow(HWND list, IdRow* row);

// Inserts column `column` with `caption`; `alignment` 0 left, 1 right (the right-aligned column
// sorts by number). A width of -1 fits the caption.
void AddListColumn(HWND list, const char* caption, int alignment, int width, int column);

// The same with "string"/key of the string file (else the fallback) as caption, fitted later.
void AddCaptionedColumn(HWND list, int column, const char* key, const char* fallback, int alignment);

// With `insert`: a new row at `position` with `tag` and `text` in column 0; returns its position
// (-1 on failure). Otherwise sets the row's tag and replaces the text of `column`; a negative
// column does nothing.
int SetRowText(HWND list, int position, LPARAM tag, int column, const char* text, bool insert);

// Position of the first row whose name equals `name` without regard to case; -1 when none.
int FindRowByName(HWND list, const char* name);

// The rows in display order, texts as the list holds them.
std::vector<IdRow> ListRows(HWND list);
IdRow ListRow(HWND list, int position);
int ListRowCount(HWND list);

// Overwrites a row's three texts and sets its tag.
void SetRowTexts(HWND list, int position, LPARAM tag, const IdRow& row);

// Removes every selected row; the others keep their order and tags.
void DeleteSelectedRows(HWND list);

// "RegisteredMessage" of the string file with `name` in place of its first "%s"; the text is shown
// as it stands otherwise, never used as a format.
std::string RegisteredQuestion(const std::string& name);

// Appends `rows` after the rows shown, tags counting on from the row count.
void AppendListRows(HWND list, const std::vector<IdRow>& rows);

// Appends the entries of a settings file's registered-ID (or fixed-ID) section; null: the master
// copy. Returns the last refusal's code, or 0.
int LoadRegisteredIDs(HWND list, bool fixed, const char* settingsFile);

// Imports an ID file into the list: new names are appended, a registered name with other values is
// replaced when the administrator agrees (asked in a box owned by the list's parent). Returns the
// last refusal's code, or 0 (also for a file that cannot be read); IdFileTooLarge or
// IdFileWideText, with nothing imported, for a file refused as a whole.
int ImportIDFile(HWND list, const char* idFile, bool fixed);
