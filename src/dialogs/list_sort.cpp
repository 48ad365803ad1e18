#include "dialogs/list_sort.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

int SortDirection = 1;

namespace {

enum : int { SortTextChars = 255 };

// What a row's tag sorts by: the text of the clicked column of the first row carrying the tag, or,
// when that is empty, of a later row with the same tag (from two below it on, as the list view's
// search from the row after it finds one); a tag without such a row sorts as " " or as -1.
struct SortKey {
    std::string text;
    long long number;
};

struct SortContext {
    std::unordered_map<LPARAM, SortKey> keys;
};

std::string RowText(HWND list, int row, int column)
{
    char text[SortTextChars] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

LPARAM RowTag(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

long long LeadingNumber(const std::string& text)
{
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > 0xFFFFFFFFll)
            value = 0xFFFFFFFFll;
    }
    return value;
}

// One pass over the rows instead of a search per comparison: large lists sort in n log n.
void CollectKeys(HWND list, int column, SortContext* context)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::unordered_map<LPARAM, std::vector<int>> rowsOfTag;
    std::vector<LPARAM> tags(count);
    for (int row = 0; row < count; ++row) {
        tags[row] = RowTag(list, row);
        rowsOfTag[tags[row]].push_back(row);
    }
    for (const auto& entry : rowsOfTag) {
        const std::vector<int>& rows = entry.second;
        std::string text = RowText(list, rows[0], column);
        bool found = !text.empty();
        for (size_t i = 1; !found && i < rows.size(); ++i) {
            if (rows[i] < rows[0] + 2)
                continue;
            text = RowText(list, rows[i], column);
            found = true;
        }
        SortKey key;
        key.text = found ? text : " ";
        key.number = found ? LeadingNumber(text) : -1;
        context->keys.emplace(entry.first, key);
    }
}

int Directed(int order) { return SortDirection == 1 ? order : -order; }

int CALLBACK CompareRowsByText(LPARAM a, LPARAM b, LPARAM sort)
{
    const auto& keys = reinterpret_cast<SortContext*>(sort)->keys;
    const std::string& x = keys.at(a).text;
    const std::string& y = keys.at(b).text;
    int order = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
    if (order == 0)
        order = x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
    return Directed(order < 0 ? -1 : order > 0 ? 1 : 0);
}

int CALLBACK CompareRowsByNumber(LPARAM a, LPARAM b, LPARAM sort)
{
    const auto& keys = reinterpret_cast<SortContext*>(sort)->keys;
    long long x = keys.at(a).number;
    long long y = keys.at(b).number;
    return Directed(x < y ? -1 : x > y ? 1 : 0);
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
    SortDirection = SortDirection == 1 ? 2 : 1;
    HWND list = click.hdr.hwndFrom;
    SortContext context;
    CollectKeys(list, click.iSubItem, &context);
    PFNLVCOMPARE compare = IsRightAligned(list, click.iSubItem) ? CompareRowsByNumber : CompareRowsByText;
    SendMessageA(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context), reinterpret_cast<LPARAM>(compare));
}
