#include "idlist/id_list_view.h"

#include <commctrl.h>

#include <string>

#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/system_library.h"

namespace {

enum : int { ListTextChars = 256 };

std::string RowText(HWND list, int position, int column)
{
    char text[ListTextChars] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, position, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

void FitColumn(HWND list, int column)
{
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}

void FitColumns(HWND list, bool fitUserColumn)
{
    FitColumn(list, IdNameColumn);
    if (fitUserColumn)
        FitColumn(list, IdUserColumn);
    else
        SendMessageA(list, LVM_SETCOLUMNWIDTH, IdUserColumn, 0);
    FitColumn(list, IdIDColumn);
}


// Holds the list's drawing while many rows change, so that each change does not repaint it.
class RedrawPause {
public:
    explicit RedrawPause(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawPause()
    {
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND list_;
};

struct ImportAnswers {
    HWND owner;
    const IdList* list;
    std::vector<size_t> replaced;
};


bool AskToReplace(const IdRow& existing, const IdRow& incoming, void* context)
{
    auto* answers = static_cast<ImportAnswers*>(context);
    std::string question = RegisteredQuestion(incoming.Name);
    if (MessageBoxA(answers->owner, question.c_str(), Module.AppName, MB_YESNO) != IDYES)
        return false;
    // The row asked about is the list's own, so its position is its offset in the rows.
    answers->replaced.push_back(static_cast<size_t>(&existing - answers->list->Rows().data()));
    return true;
}

}  // namespace

bool RegisterListViewClass()
{
    auto initialise = SystemEntry<decltype(&InitCommonControlsEx)>(SystemLibrary::Comctl32, "InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    return initialise && initialise(&controls);
}

void PrepareIDListView(HWND list)
{
    RegisterListViewClass();
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
}

bool FirstSelectedRow(HWND list, IdRow* row)
{
    int position = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (position < 0)
        return false;
    *row = ListRow(list, position);
    return true;
}

void AddListColumn(HWND list, const char* caption, int alignment, int width, int column)
{
    LVCOLUMNA info = {};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = alignment == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    info.cx = width < 0 ? 0 : width;
    info.pszText = const_cast<char*>(caption);
    info.iSubItem = column;
    int inserted = static_cast<int>(SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
    if (inserted >= 0 && width < 0)
        SendMessageA(list, LVM_SETCOLUMNWIDTH, inserted, LVSCW_AUTOSIZE_USEHEADER);
}

void AddCaptionedColumn(HWND list, int column, const char* key, const char* fallback, int alignment)
{
    char caption[ListTextChars] = {};
    ReadStringText(key, fallback, caption, sizeof caption);
    AddListColumn(list, caption, alignment, 0, column);
}

int SetRowText(HWND list, int position, LPARAM tag, int column, const char* text, bool insert)
{
    LVITEMA item = {};
    item.iItem = position;
    item.lParam = tag;
    item.pszText = const_cast<char*>(text ? text : "");
    if (insert) {
        item.mask = LVIF_TEXT | LVIF_PARAM;
        return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    }
    if (column < 0)
        return position;
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iSubItem = column;
    if (column != 0) {
        // A subitem carries no tag of its own; the tag goes to the row.
        LVITEMA row = {};
        row.mask = LVIF_PARAM;
        row.iItem = position;
        row.lParam = tag;
        SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&row));
        item.mask = LVIF_TEXT;
    }
    return SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? position : -1;
}

void SetRowTexts(HWND list, int position, LPARAM tag, const IdRow& row)
{
    SetRowText(list, position, tag, IdNameColumn, row.Name.c_str(), false);
    SetRowText(list, position, tag, IdUserColumn, row.UserName.c_str(), false);
    SetRowText(list, position, tag, IdIDColumn, row.ID.c_str(), false);
}

std::string RegisteredQuestion(const std::string& name)
{
    char text[ListTextChars] = {};
    ReadStringText("RegisteredMessage",
                   "%s is already registered, and will be changed.  Do you want to continue?", text,
                   sizeof text);
    std::string question = text;
    size_t slot = question.find("%s");
    if (slot != std::string::npos)
        question.replace(slot, 2, name);
    return question;
}

namespace {

LPARAM RowTag(HWND list, int position)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = position;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

// A new row at `position` with all three texts; false when the list took no more rows.
bool InsertRow(HWND list, int position, LPARAM tag, const IdRow& row)
{
    position = SetRowText(list, position, tag, IdNameColumn, row.Name.c_str(), true);
    if (position < 0)
        return false;
    SetRowText(list, position, tag, IdUserColumn, row.UserName.c_str(), false);
    SetRowText(list, position, tag, IdIDColumn, row.ID.c_str(), false);
    return true;
}

}  // namespace

void DeleteSelectedRows(HWND list)
{
    // Many rows deleted one by one each move every row below them; the rows that stay are put back
    // in one pass instead.
    struct Kept {
        LPARAM tag;
        IdRow row;
    };
    std::vector<Kept> kept;
    int count = ListRowCount(list);
    for (int position = 0; position < count; ++position)
        if (!(SendMessageA(list, LVM_GETITEMSTATE, position, LVIS_SELECTED) & LVIS_SELECTED))
            kept.push_back({RowTag(list, position), ListRow(list, position)});
    RedrawPause pause(list);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(list, LVM_SETITEMCOUNT, kept.size(), 0);
    int position = 0;
    for (const Kept& entry : kept)
        if (!InsertRow(list, position++, entry.tag, entry.row))
            return;
}

int FindRowByName(HWND list, const char* name)
{
    LVFINDINFOA find = {};
    find.flags = LVFI_STRING;
    find.psz = name;
    return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

int ListRowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

IdRow ListRow(HWND list, int position)
{
    return {RowText(list, position, IdNameColumn), RowText(list, position, IdUserColumn),
            RowText(list, position, IdIDColumn)};
}

std::vector<IdRow> ListRows(HWND list)
{
    std::vector<IdRow> rows;
    int count = ListRowCount(list);
    rows.reserve(count > 0 ? count : 0);
    for (int position = 0; position < count; ++position)
        rows.push_back(ListRow(list, position));
    return rows;
}

void AppendListRows(HWND list, const std::vector<IdRow>& rows)
{
    if (rows.empty())
        return;
    RedrawPause pause(list);
    int count = ListRowCount(list);
    SendMessageA(list, LVM_SETITEMCOUNT, count + rows.size(), 0);
    for (const IdRow& row : rows) {
        if (!InsertRow(list, count, count, row))
            return;
        ++count;
    }
}

int LoadRegisteredIDs(HWND list, bool fixed, const char* settingsFile)
{
    char master[PathChars] = {};
    if (!settingsFile) {
        if (!MasterSettingsPath(master))
            return IdListAccepted;
        settingsFile = master;
    }
    IdList entries;
    int result = LoadIdSection(settingsFile, fixed, &entries);
    AppendListRows(list, entries.Rows());
    FitColumns(list, entries.UserNameSeen() || !fixed);
    return result;
}

int ImportIDFile(HWND list, const char* idFile, bool fixed)
{
    std::string text;
    const IdFileRead read = ReadIDFile(idFile, &text);
    if (read != IdFileRead::Read)
        return read == IdFileRead::TooLarge   ? IdFileTooLarge
               : read == IdFileRead::WideText ? IdFileWideText
                                              : IdListAccepted;
    // The import works on a copy of the rows, which keeps a lookup by name, and the list then takes
    // what changed: overwritten rows in place, new rows at the end.
    IdList rows;
    for (IdRow& row : ListRows(list))
        rows.Append(std::move(row));
    const size_t shown = rows.Size();
    ImportAnswers answers = {GetParent(list), &rows, {}};
    ImportHandlers handlers;
    handlers.replace = AskToReplace;
    handlers.context = &answers;
    int result = ImportIDText(text, fixed, &rows, handlers);

    {
        RedrawPause pause(list);
        for (size_t position : answers.replaced)
            SetRowTexts(list, static_cast<int>(position), static_cast<LPARAM>(position), rows.Rows()[position]);
    }
    AppendListRows(list, std::vector<IdRow>(rows.Rows().begin() + shown, rows.Rows().end()));
    FitColumns(list, rows.UserNameSeen() || ColumnWidth(list, IdUserColumn) != 0);
    return result;
}
