// Times the registered-ID list's whole-file operations at 1,000, 10,000 and 100,000 entries, each
// beside the platform's floor for the same work measured in the same run:
//   import  an ID file into a settings file and one copy of it (as propagation makes), against one
//           read of the ID file, one write of the settings file's whole text, one copy, one
//           section read;
//   load    the registered-ID section into rows, against one section read;
//   list    the rows as an ID file (what `jobacct list` prints), against one section read and one
//           write of the same text;
//   dialog  the registered-ID dialog's load of the list view, against a bare insert of the same rows
//           into a list view;
//   sort    a column click on that list (names, user names, IDs), against the list view's own sort
//           of the same rows into the same order, told in advance;
//   ok      OK's rewrite of the list section from the list view, against reading every cell of the
//           list view and one write of the same text.
// Run under Wine: scripts/wine-run.sh build64/bin/zrbench.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <commctrl.h>

#include "dialogs/list_sort.h"
#include "idlist/id_import.h"
#include "idlist/id_list_view.h"
#include "idlist/id_list.h"
#include "settings/settings_file.h"

namespace {

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
    CloseHandle(file);
    return ok;
}

std::string IdFile(size_t count)
{
    std::string text;
    char line[96];
    for (size_t i = 0; i < count; ++i) {
        wsprintfA(line, "user%06lu,%lu,User Name %lu\r\n", static_cast<unsigned long>(i),
                  static_cast<unsigned long>(i + 1), static_cast<unsigned long>(i));
        text += line;
    }
    return text;
}

DWORD ReadSection(const std::string& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
    std::vector<char> buffer(data.nFileSizeLow + 64);
    return GetPrivateProfileSectionA(RegisteredIDSection, buffer.data(), static_cast<DWORD>(buffer.size()),
                                     file.c_str());
}

void Report(const char* what, size_t count, double seconds, double floor)
{
    std::printf("%-7s %7lu entries: %8.3f s   floor %8.3f s   ratio %5.2f\n", what, static_cast<unsigned long>(count),
                seconds, floor, floor > 0 ? seconds / floor : 0.0);
}

void Measure(const std::string& directory, size_t count)
{
    const std::string idFile = directory + "ids.csv";
    const std::string settings = directory + "vtjobac4.dat";
    const std::string copy = directory + "copy.dat";
    const std::string listed = directory + "listed.csv";
    const std::string head = "[JobAccount]\r\nMode=4\r\n";
    WriteWhole(idFile, IdFile(count));

    // The import: a settings file without the list takes the whole ID file, then one copy.
    WriteWhole(settings, head);
    double start = Now();
    ImportIDFileInto(idFile.c_str(), settings.c_str(), nullptr, nullptr);
    CopyFileReplacing(settings.c_str(), copy.c_str());
    const double import = Now() - start;

    std::string settingsText, idText;
    ReadWholeFile(settings.c_str(), &settingsText);
    const std::string floorFile = directory + "floor.dat";
    start = Now();
    ReadWholeFile(idFile.c_str(), &idText);
    WriteWhole(floorFile, settingsText);
    CopyFileA(floorFile.c_str(), (directory + "floorcopy.dat").c_str(), FALSE);
    ReadSection(floorFile);
    const double importFloor = Now() - start;
    Report("import", count, import, importFloor);

    // The load, right after the write as in the dialog after an import.
    start = Now();
    IdList list;
    LoadIdSection(settings.c_str(), false, &list);
    const double load = Now() - start;
    start = Now();
    ReadSection(floorFile);
    const double loadFloor = Now() - start;
    Report("load", count, load, loadFloor);

    // The listing.
    start = Now();
    IdList rows;
    LoadIdSection(settings.c_str(), false, &rows);
    const std::string text = FormatIdFile(rows.Rows(), false);
    WriteWhole(listed, text);
    const double listing = Now() - start;
    start = Now();
    ReadSection(floorFile);
    WriteWhole(directory + "floorlisted.csv", text);
    const double listFloor = Now() - start;
    Report("list", count, listing, listFloor);
    if (rows.Size() != count)
        std::printf("        (%lu rows listed, %lu expected)\n", static_cast<unsigned long>(rows.Size()),
                    static_cast<unsigned long>(count));
}

// A report-style list view with the dialog's three columns, in a window that is never shown.
class ListWindow {
public:
    ListWindow()
    {
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
        list_ = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 580, 380, parent_,
                                reinterpret_cast<HMENU>(1019), nullptr, nullptr);
        SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        AddListColumn(list_, "Login Name", 0, 0, IdNameColumn);
        AddListColumn(list_, "User Name", 0, 0, IdUserColumn);
        AddListColumn(list_, "Job Account ID", 1, 0, IdIDColumn);
    }
    ~ListWindow() { DestroyWindow(parent_); }
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;
    HWND list() const { return list_; }

private:
    HWND parent_ = nullptr;
    HWND list_ = nullptr;
};

void BareInsert(HWND list, const std::vector<IdRow>& rows)
{
    int position = 0;
    for (const IdRow& row : rows) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = position;
        item.lParam = position;
        item.pszText = const_cast<char*>(row.Name.c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        LVITEMA sub = {};
        sub.iSubItem = IdUserColumn;
        sub.pszText = const_cast<char*>(row.UserName.c_str());
        SendMessageA(list, LVM_SETITEMTEXTA, position, reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = IdIDColumn;
        sub.pszText = const_cast<char*>(row.ID.c_str());
        SendMessageA(list, LVM_SETITEMTEXTA, position, reinterpret_cast<LPARAM>(&sub));
        ++position;
    }
}

// The order the dialog's sort reached, as a place per tag: the floor sorts into the same order with
// nothing left to work out.
int CALLBACK CompareByPlace(LPARAM a, LPARAM b, LPARAM places)
{
    const auto& place = *reinterpret_cast<const std::vector<int>*>(places);
    return place[a] < place[b] ? -1 : place[a] > place[b] ? 1 : 0;
}

std::vector<int> PlacesOfTags(HWND list)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<int> places(count > 0 ? count : 0);
    for (int row = 0; row < count; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        if (item.lParam >= 0 && item.lParam < count)
            places[item.lParam] = row;
    }
    return places;
}

void ClickColumn(HWND list, int column)
{
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = 1019;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SortListByColumn(click);
}

void ReadEveryCell(HWND list)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    char text[256];
    for (int row = 0; row < count; ++row)
        for (int column = 0; column < 3; ++column) {
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        }
}

void MeasureListView(const std::string& directory, size_t count)
{
    const std::string settings = directory + "vtjobac4.dat";
    IdList rows;
    LoadIdSection(settings.c_str(), false, &rows);

    ListWindow dialog;
    double start = Now();
    LoadRegisteredIDs(dialog.list(), false, settings.c_str());
    const double load = Now() - start;
    ListWindow bare;
    start = Now();
    BareInsert(bare.list(), rows.Rows());
    const double loadFloor = Now() - start;
    Report("dialog", count, load, loadFloor);

    const char* names[] = {"sort 0", "sort 1", "sort 2"};
    for (int column = 0; column < 3; ++column) {
        start = Now();
        ClickColumn(dialog.list(), column);
        const double sort = Now() - start;
        std::vector<int> places = PlacesOfTags(dialog.list());
        start = Now();
        SendMessageA(bare.list(), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&places), reinterpret_cast<LPARAM>(CompareByPlace));
        const double sortFloor = Now() - start;
        Report(names[column], count, sort, sortFloor);
    }

    start = Now();
    std::vector<IdRow> shown = ListRows(dialog.list());
    WriteIdSection(settings.c_str(), shown, false);
    const double ok = Now() - start;
    std::string text;
    ReadWholeFile(settings.c_str(), &text);
    start = Now();
    ReadEveryCell(bare.list());
    WriteWhole(directory + "floorok.dat", text);
    const double okFloor = Now() - start;
    Report("ok", count, ok, okFloor);
}

}  // namespace

int main()
{
    char temporary[MAX_PATH] = {};
    GetTempPathA(sizeof temporary, temporary);
    const std::string directory = std::string(temporary) + "zrbench\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    for (size_t count : {1000u, 10000u, 100000u}) {
        Measure(directory, count);
        MeasureListView(directory, count);
    }
    return 0;
}
