#include "idlist/id_list_view.h"

#include <algorithm>
#include <new>
#include <string>

#include "idlist/id_rows.h"
#include "settings/export_barrier.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/system_library.h"

namespace {

enum : int { ListTextChars = 256 };

// Room the list view leaves beside a cell's text: what its own autosize adds to the widest text.
enum : int { CellPadding = 12 };

// What an ID list view carries beside the list view's own state, in its user data: window
// properties would cost a trip to the window server on every message the list gets.
struct ListStore {
    IdRows rows;
    WNDPROC listViewProc;
};

LRESULT CALLBACK StoreKeepingProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

// The user data is the store's only while the store's procedure sees the list's messages.
ListStore* StoreOf(HWND list)
{
    if (!list || GetWindowLongPtrW(list, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(StoreKeepingProc))
        return nullptr;
    return reinterpret_cast<ListStore*>(GetWindowLongPtrW(list, GWLP_USERDATA));
}

IdRows* RowsOf(HWND list)
{
    ListStore* store = StoreOf(list);
    return store ? &store->rows : nullptr;
}

// The list view's own handling of a message, past the store's.
LRESULT CallListView(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListStore* store = StoreOf(list);
    return store ? CallWindowProcW(store->listViewProc, list, message, wParam, lParam)
                 : SendMessageW(list, message, wParam, lParam);
}

// The store's part of a list view message: rows deleted through the list view's messages go from
// the store too, and the store goes with the window.
void KeepStoreInStep(HWND list, ListStore* store, UINT message, WPARAM wParam)
{
    switch (message) {
    case LVM_DELETEALLITEMS:
        store->rows.Clear();
        break;
    case LVM_DELETEITEM:
        if (wParam < store->rows.Size()) {
            std::vector<bool> remove(store->rows.Size());
            remove[wParam] = true;
            store->rows.Remove(remove);
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(store->listViewProc));
        SetWindowLongPtrW(list, GWLP_USERDATA, 0);
        delete store;
        break;
    default:
        break;
    }
}

// A message whose part in the store failed (the store could not make room to delete a row) goes no
// further: the list view would drop a row the store still holds, and every later row would show
// its neighbour's texts. Partly run, it cannot be handed on either, so it answers 0, which is also
// the list view's own answer to a deletion that failed.
LRESULT CALLBACK StoreKeepingProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* store = reinterpret_cast<ListStore*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (!store)
        return DefWindowProcW(list, message, wParam, lParam);
    const WNDPROC proc = store->listViewProc;
    const bool kept = CallbackOrFail(false, [&] {
        KeepStoreInStep(list, store, message, wParam);
        return true;
    });
    return kept ? CallWindowProcW(proc, list, message, wParam, lParam) : 0;
}

IdRows* AttachRows(HWND list)
{
    if (IdRows* rows = RowsOf(list))
        return rows;
    auto* store = new (std::nothrow) ListStore;
    if (!store)
        return nullptr;
    store->listViewProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_WNDPROC));
    if (GetWindowLongPtrW(list, GWLP_USERDATA) != 0 || !store->listViewProc) {
        delete store;  // the user data is someone else's: the list stays without a store
        return nullptr;
    }
    SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(store));
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StoreKeepingProc));
    return &store->rows;
}

int ColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

std::string ColumnCaption(HWND list, int column)
{
    char caption[ListTextChars] = {};
    LVCOLUMNA info = {};
    info.mask = LVCF_TEXT;
    info.pszText = caption;
    info.cchTextMax = sizeof caption;
    SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
    return caption;
}

// Advance widths of the list's font, byte by byte, measured once: the width of a text is then a
// sum, an upper bound of what the list draws (a double-byte character counts as the widest one).
class TextWidths {
public:
    explicit TextWidths(HWND list) : list_(list), dc_(GetDC(list))
    {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
        old_ = dc_ && font ? SelectObject(dc_, font) : nullptr;
        TEXTMETRICA metrics = {};
        if (dc_ && GetTextMetricsA(dc_, &metrics))
            pair_ = metrics.tmMaxCharWidth;
        if (!dc_ || !GetCharWidth32A(dc_, 0, 255, widths_))
            std::fill(std::begin(widths_), std::end(widths_), pair_ > 0 ? pair_ : 16);
        for (int c = 0; c < 256; ++c)
            lead_[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE;
    }
    ~TextWidths()
    {
        if (old_)
            SelectObject(dc_, old_);
        if (dc_)
            ReleaseDC(list_, dc_);
    }
    TextWidths(const TextWidths&) = delete;
    TextWidths& operator=(const TextWidths&) = delete;

    int Of(const char* text) const
    {
        int width = 0;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            if (lead_[*p] && p[1]) {
                width += pair_;
                ++p;
            } else {
                width += widths_[*p];
            }
        }
        return width;
    }

private:
    HWND list_;
    HDC dc_;
    HGDIOBJ old_ = nullptr;
    int widths_[256] = {};
    bool lead_[256] = {};
    int pair_ = 0;
};

// The width that shows the caption and the widest text of `column` whole.
int FittedWidth(HWND list, const IdRows& rows, const TextWidths& widths, int column)
{
    int widest = 0;
    for (size_t position = 0; position < rows.Size(); ++position)
        widest = std::max(widest, widths.Of(rows.Text(position, column)));
    const std::string caption = ColumnCaption(list, column);
    const int header = static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(caption.c_str())));
    return std::max(widest, header) + CellPadding;
}

void SetColumnWidth(HWND list, int column, int width) { SendMessageA(list, LVM_SETCOLUMNWIDTH, column, width); }

// The widths follow the content, measured once over the rows: the list view's own autosize would
// ask for every row's text again. The ID column, the last, also takes the room left on the right.
void FitColumns(HWND list, bool fitUserColumn)
{
    const IdRows* rows = RowsOf(list);
    if (!rows)
        return;
    TextWidths widths(list);
    const int name = FittedWidth(list, *rows, widths, IdNameColumn);
    const int user = fitUserColumn ? FittedWidth(list, *rows, widths, IdUserColumn) : 0;
    SetColumnWidth(list, IdNameColumn, name);
    SetColumnWidth(list, IdUserColumn, user);
    RECT client = {};
    GetClientRect(list, &client);
    const int room = static_cast<int>(client.right) - name - user;
    SetColumnWidth(list, IdIDColumn, std::max(FittedWidth(list, *rows, widths, IdIDColumn), room));
}

// ---- what the list view keeps itself: the row count, the selection, the focus

std::vector<bool> SelectedRows(HWND list, size_t count)
{
    std::vector<bool> selected(count);
    // A search past the last selected row may start again from the top: the walk ends there.
    int previous = -1;
    for (int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         row > previous && static_cast<size_t>(row) < count;
         row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
        selected[row] = true;
        previous = row;
    }
    return selected;
}

void SetRowState(HWND list, int row, UINT state)
{
    LVITEMA item = {};
    item.state = state;
    item.stateMask = state;
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

int ItemHeight(HWND list)
{
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    if (!SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&bounds)))
        return 0;
    return bounds.bottom - bounds.top;
}

// Tells the list view the new row count after the rows moved or went: it forgets its selection
// and focus at once (deselecting row by row costs a search per row), then scrolls back to the row
// that was at the top.
class RowsRenumbered {
public:
    explicit RowsRenumbered(HWND list)
        : list_(list), top_(static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0)))
    {
        SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    }
    ~RowsRenumbered()
    {
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    RowsRenumbered(const RowsRenumbered&) = delete;
    RowsRenumbered& operator=(const RowsRenumbered&) = delete;

    void Done(size_t count)
    {
        CallListView(list_, LVM_DELETEALLITEMS, 0, 0);
        SendMessageA(list_, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
        const int top = static_cast<int>(SendMessageA(list_, LVM_GETTOPINDEX, 0, 0));
        const int height = ItemHeight(list_);
        if (count > 0 && top != top_ && height > 0)
            SendMessageA(list_, LVM_SCROLL, 0, (top_ - top) * height);
    }

private:
    HWND list_;
    int top_;
};

// The store has more rows at its end: the list view shows them, its selection untouched.
void ShowAppendedRows(HWND list, const IdRows& rows)
{
    SendMessageA(list, LVM_SETITEMCOUNT, rows.Size(), LVSICF_NOSCROLL);
    InvalidateRect(list, nullptr, TRUE);
}

void RedrawRow(HWND list, int position) { SendMessageA(list, LVM_REDRAWITEMS, position, position); }

// ---- answers to the list view

void CopyText(const char* text, char* buffer, int size)
{
    if (buffer && size > 0)
        lstrcpynA(buffer, text, size);
}

void CopyText(const char* text, wchar_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return;
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, size))
        buffer[0] = L'\0';
    buffer[size - 1] = L'\0';
}

template <typename Info>
void AnswerDisplayInfo(const IdRows& rows, Info* info)
{
    auto& item = info->item;
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows.Size())
        return;
    if (item.mask & LVIF_TEXT)
        CopyText(rows.Text(item.iItem, item.iSubItem), item.pszText, item.cchTextMax);
    if (item.mask & LVIF_PARAM)
        item.lParam = rows.Tag(item.iItem);
}

std::string AnsiText(const char* text) { return text ? text : ""; }

std::string AnsiText(const wchar_t* text)
{
    if (!text)
        return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &converted[0], size, nullptr, nullptr);
    converted.resize(static_cast<size_t>(size - 1));
    return converted;
}

// A search as the list view's own would make it: exact or leading text of the name compared
// without regard to case, or the tag; from iStart on, then from the top when it may wrap.
template <typename Find>
long AnswerFind(const IdRows& rows, const Find* find)
{
    const auto& info = find->lvfi;
    const size_t start = find->iStart > 0 ? static_cast<size_t>(find->iStart) : 0;
    auto search = [&](size_t from) -> long {
        if (info.flags & LVFI_PARAM)
            return rows.FindTag(info.lParam, from);
        if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)))
            return -1;
        const std::string text = AnsiText(info.psz);
        return info.flags & (LVFI_PARTIAL) ? rows.FindNamePrefix(text, from) : rows.FindName(text, from);
    };
    long found = search(start);
    if (found < 0 && start > 0 && (info.flags & LVFI_WRAP))
        found = search(0);
    return found;
}

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

bool IsRightAligned(HWND list, int column)
{
    LVCOLUMNA info = {};
    info.mask = LVCF_FMT;
    return SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)) &&
           (info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT;
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
    AttachRows(list);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
}

bool AnswerIDListNotify(HWND dialog, const NMHDR* header)
{
    const IdRows* rows = header ? RowsOf(header->hwndFrom) : nullptr;
    if (!rows)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOA:
        AnswerDisplayInfo(*rows, reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_GETDISPINFOW:
        AnswerDisplayInfo(*rows, reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_ODFINDITEMA:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, AnswerFind(*rows, reinterpret_cast<const NMLVFINDITEMA*>(header)));
        return true;
    case LVN_ODFINDITEMW:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, AnswerFind(*rows, reinterpret_cast<const NMLVFINDITEMW*>(header)));
        return true;
    case LVN_ODCACHEHINT:
        return true;
    default:
        return false;
    }
}

bool SortIDListByColumn(const NMLISTVIEW& click)
{
    HWND list = click.hdr.hwndFrom;
    IdRows* rows = RowsOf(list);
    if (!rows)
        return false;
    ToggleSortDirection();
    const size_t count = rows->Size();
    const std::vector<bool> selected = SelectedRows(list, count);
    const int focused = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const int mark = static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0));
    const std::vector<size_t> order = rows->SortByColumn(click.iSubItem, IsRightAligned(list, click.iSubItem));

    RowsRenumbered renumbered(list);
    renumbered.Done(count);
    for (size_t position = 0; position < order.size(); ++position) {
        const size_t old = order[position];
        const int row = static_cast<int>(position);
        if (selected[old])
            SetRowState(list, row, LVIS_SELECTED);
        if (static_cast<int>(old) == focused)
            SetRowState(list, row, LVIS_FOCUSED);
        if (static_cast<int>(old) == mark)
            SendMessageA(list, LVM_SETSELECTIONMARK, 0, row);
    }
    return true;
}

bool FirstSelectedRow(HWND list, IdRow* row)
{
    const IdRows* rows = RowsOf(list);
    int position = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (!rows || position < 0 || static_cast<size_t>(position) >= rows->Size())
        return false;
    *row = rows->Row(static_cast<size_t>(position));
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
    IdRows* rows = RowsOf(list);
    if (!rows || position < 0)
        return -1;
    const std::string value = text ? text : "";
    if (insert) {
        // New rows join at the end, which is where every caller puts them.
        if (!rows->Append({value, "", ""}, tag))
            return -1;
        ShowAppendedRows(list, *rows);
        return static_cast<int>(rows->Size() - 1);
    }
    if (column < 0)
        return position;
    if (static_cast<size_t>(position) >= rows->Size() || column > IdIDColumn)
        return -1;
    IdRow row = rows->Row(static_cast<size_t>(position));
    (column == IdNameColumn ? row.Name : column == IdUserColumn ? row.UserName : row.ID) = value;
    rows->Replace(static_cast<size_t>(position), row, tag);
    RedrawRow(list, position);
    return position;
}

void SetRowTexts(HWND list, int position, LPARAM tag, const IdRow& row)
{
    IdRows* rows = RowsOf(list);
    if (!rows || position < 0 || static_cast<size_t>(position) >= rows->Size())
        return;
    rows->Replace(static_cast<size_t>(position), row, tag);
    RedrawRow(list, position);
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

void DeleteSelectedRows(HWND list)
{
    IdRows* rows = RowsOf(list);
    if (!rows)
        return;
    // One pass over the store, and one new count for the list view, however many rows go.
    rows->Remove(SelectedRows(list, rows->Size()));
    RowsRenumbered renumbered(list);
    renumbered.Done(rows->Size());
}

int FindRowByName(HWND list, const char* name)
{
    const IdRows* rows = RowsOf(list);
    return rows && name ? static_cast<int>(rows->FindName(name)) : -1;
}

int ListRowCount(HWND list)
{
    const IdRows* rows = RowsOf(list);
    return rows ? static_cast<int>(rows->Size()) : 0;
}

IdRow ListRow(HWND list, int position)
{
    const IdRows* rows = RowsOf(list);
    return rows && position >= 0 ? rows->Row(static_cast<size_t>(position)) : IdRow{};
}

std::vector<IdRow> ListRows(HWND list)
{
    const IdRows* rows = RowsOf(list);
    return rows ? rows->All() : std::vector<IdRow>{};
}

void AppendListRows(HWND list, const std::vector<IdRow>& rows)
{
    IdRows* store = RowsOf(list);
    if (!store || rows.empty())
        return;
    for (const IdRow& row : rows)
        if (!store->Append(row, static_cast<LPARAM>(store->Size())))
            break;
    ShowAppendedRows(list, *store);
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
    IdRows* store = RowsOf(list);
    std::string text;
    if (!store)
        return IdListAccepted;
    const IdFileRead read = ReadIDFile(idFile, &text);
    if (read != IdFileRead::Read)
        return read == IdFileRead::TooLarge   ? IdFileTooLarge
               : read == IdFileRead::WideText ? IdFileWideText
                                              : IdListAccepted;
    // The import works on a copy of the rows, which keeps a lookup by name, and the store then
    // takes what changed: overwritten rows in place, new rows at the end.
    IdList rows;
    for (IdRow& row : store->All())
        rows.Append(std::move(row));
    const size_t shown = rows.Size();
    ImportAnswers answers = {GetParent(list), &rows, {}};
    ImportHandlers handlers;
    handlers.replace = AskToReplace;
    handlers.context = &answers;
    int result = ImportIDText(text, fixed, &rows, handlers);

    for (size_t position : answers.replaced)
        if (position < shown)
            store->Replace(position, rows.Rows()[position], static_cast<LPARAM>(position));
    AppendListRows(list, std::vector<IdRow>(rows.Rows().begin() + static_cast<std::ptrdiff_t>(shown), rows.Rows().end()));
    InvalidateRect(list, nullptr, TRUE);
    FitColumns(list, rows.UserNameSeen() || ColumnWidth(list, IdUserColumn) != 0);
    return result;
}
