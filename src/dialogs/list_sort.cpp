#include "dialogs/list_sort.h"

#include <string>
#include <vector>

#include "idlist/id_list.h"
#include "idlist/id_list_view.h"

int SortDirection = 1;

namespace {

enum : int { SortTextChars = 255 };

// A row's tag and its text in `column`, in one call.
LPARAM RowTagAndText(HWND list, int row, int column, std::string* text)
{
    char buffer[SortTextChars] = {};
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    // The list may hand back its own buffer instead of filling ours.
    *text = item.pszText ? item.pszText : "";
    return item.lParam;
}

bool IsRightAligned(HWND list, int column)
{
    LVCOLUMNA info = {};
    info.mask = LVCF_FMT;
    return SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)) &&
           (info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT;
}

}  // namespace

void SortListByColumn(const NMLISTVIEW& click)
{
    // The ID lists hold their rows themselves and sort them there.
    if (SortIDListByColumn(click))
        return;
    ToggleSortDirection();
    HWND list = click.hdr.hwndFrom;
    // One pass over the rows for the keys instead of a search per comparison: large lists sort
    // in n log n.
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<LPARAM> tags(count > 0 ? count : 0);
    std::vector<std::string> texts(tags.size());
    for (int row = 0; row < count; ++row) {
        tags[row] = RowTagAndText(list, row, click.iSubItem, &texts[row]);
    }
    SortKeys keys(tags, texts);
    PFNLVCOMPARE compare = IsRightAligned(list, click.iSubItem) ? CompareRowsByNumber : CompareRowsByText;
    SendMessageA(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&keys), reinterpret_cast<LPARAM>(compare));
}
