// Times the registered-ID list's whole-file operations at 1,000, 10,000 and 100,000 entries, each
// beside the platform's floor for the same work measured in the same run:
//   import  an ID file into a settings file and one copy of it (as propagation makes), against one
//           read of the ID file, one write of the settings file's whole text, one copy, one
//           section read;
//   load    the registered-ID section into rows, against one section read;
//   list    the rows as an ID file (what `jobacct list` prints), against one section read and one
//           write of the same text;
//   open    the registered-ID dialog shown with its rows painted, on a master copy of that many
//           entries, against one read of the section and the same template shown with an empty list;
//   memory  what the open dialog holds from the heap beyond the rows' texts, per row (HeapWalk over
//           the process's heaps before and after the opening);
//   sort    a click on each column header (names, user names, IDs) and the repaint, against a
//           stable sort of as many rows by a key told in advance and the same repaint;
//   delete  Delete of every second row, selected beforehand, against the list view's own part on a
//           list of as many rows with the same selection (finding the selected rows, the new
//           count, the repaint);
//   ok      OK's rewrite of the list section of the master copy, against one write of the same
//           text.
// Run under Wine with a display: scripts/bench.sh
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <commctrl.h>

#include "dialogs/registered_id_dialog.h"
#include "idlist/id_import.h"
#include "idlist/id_list.h"
#include "res/resource.h"
#include "settings/module_state.h"
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

// ---- the registered-ID dialog itself, on a master copy of `count` entries

// The module's dialogs statically linked here take their templates, string file and master copy
// from a copy of the module in the benchmark's folder, as they would from the module beside the
// administrator's master copy.
bool UseModuleCopyIn(const std::string& directory)
{
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string source = exe;
    source.resize(source.find_last_of('\\') + 1);
    source += "zrlogext.dll";
    const std::string copy = directory + "zrlogext.dll";
    CopyFileA(source.c_str(), copy.c_str(), FALSE);
    HMODULE module = LoadLibraryA(copy.c_str());
    if (!module)
        return false;
    LoadModuleSettingsOf(module);
    return true;
}

// Bytes the process holds from all its heaps.
size_t HeapBytesInUse()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    size_t bytes = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                bytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void PaintNow(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HWND OpenShown(DLGPROC proc, LPARAM init)
{
    HWND dialog = CreateDialogParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_REGISTERED_ID), nullptr, proc, init);
    if (!dialog)
        std::printf("        (the dialog could not be created: error %lu)\n", GetLastError());
    ShowWindow(dialog, SW_SHOW);
    PaintNow(dialog);
    return dialog;
}

void ClickColumn(HWND dialog, int column)
{
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = GetDlgItem(dialog, IDC_ID_LIST);
    click.hdr.idFrom = IDC_ID_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(dialog, WM_NOTIFY, IDC_ID_LIST, reinterpret_cast<LPARAM>(&click));
}

void SelectEverySecondRow(HWND list)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    LVITEMA item = {};
    item.state = LVIS_SELECTED;
    item.stateMask = LVIS_SELECTED;
    for (int row = 1; row < count; row += 2)
        SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// What any delete of the selected rows of an owner-data list asks of the list view: find the
// selected rows, forget them, take the new count and show it.
void BareDelete(HWND list)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    int selected = 0;
    for (int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)), previous = -1;
         row > previous; previous = row, row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED)))
        ++selected;
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(list, LVM_SETITEMCOUNT, count - selected, LVSICF_NOSCROLL);
    PaintNow(list);
}

void MeasureDialog(const std::string& directory, size_t count)
{
    const std::string settings = directory + "vtjobac4.dat";
    IdList rows;
    LoadIdSection(settings.c_str(), false, &rows);
    size_t textBytes = 0;
    for (const IdRow& row : rows.Rows())
        textBytes += row.Name.size() + row.UserName.size() + row.ID.size() + 3;
    // The profile functions keep a file parsed for about two seconds after its last write; an
    // administrator opens the dialog on a file written long before. The read also leaves the
    // parsed file in the profile cache, outside what the dialog holds.
    Sleep(2100);
    ReadSection(settings);

    // Open: the dialog shown with its rows painted, against one read of the section and the same
    // template shown with an empty list.
    double start = Now();
    HWND dialog = OpenShown(RegisteredIDDialogProc, 0);
    const double open = Now() - start;
    PumpMessages();
    start = Now();
    ReadSection(settings);
    HWND bare = OpenShown(EmptyDialogProc, 0);
    const double openFloor = Now() - start;
    Report("open", count, open, openFloor);
    HWND list = GetDlgItem(dialog, IDC_ID_LIST);
    const int shown = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    if (static_cast<size_t>(shown) != count)
        std::printf("        (%d rows shown, %lu expected)\n", shown, static_cast<unsigned long>(count));

    // Memory: what a second such dialog holds from the heap and gives back when its rows are
    // deleted, less the rows' texts (each with its terminating zero).
    HWND second = OpenShown(RegisteredIDDialogProc, 0);
    PumpMessages();
    const size_t withRows = HeapBytesInUse();
    SendDlgItemMessageA(second, IDC_ID_LIST, LVM_DELETEALLITEMS, 0, 0);
    PumpMessages();
    const size_t withoutRows = HeapBytesInUse();
    DestroyWindow(second);
    PumpMessages();
    const double held = static_cast<double>(withRows) - static_cast<double>(withoutRows);
    std::printf("memory  %7lu entries: %8.1f bytes a row beyond its text (%lu bytes of text, %.0f bytes held)\n",
                static_cast<unsigned long>(count), (held - static_cast<double>(textBytes)) / static_cast<double>(count),
                static_cast<unsigned long>(textBytes), held);

    // Sort: a click on each column header, against ordering the same number of rows by a key told in
    // advance and painting the list again.
    const char* names[] = {"sort 0", "sort 1", "sort 2"};
    std::vector<unsigned> keys(count);
    for (size_t i = 0; i < count; ++i)
        keys[i] = static_cast<unsigned>((i * 2654435761u) % count);
    for (int column = 0; column < 3; ++column) {
        start = Now();
        ClickColumn(dialog, column);
        PaintNow(list);
        const double sort = Now() - start;
        std::vector<size_t> order(count);
        for (size_t i = 0; i < count; ++i)
            order[i] = i;
        start = Now();
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
        PaintNow(list);
        const double sortFloor = Now() - start;
        Report(names[column], count, sort, sortFloor);
    }

    // Delete of every second row, selected beforehand, against the list view's part of it on the
    // same selection of a list of as many rows.
    SelectEverySecondRow(list);
    PumpMessages();
    start = Now();
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
    PaintNow(list);
    const double remove = Now() - start;
    HWND bareList = GetDlgItem(bare, IDC_ID_LIST);
    SendMessageA(bareList, LVM_SETITEMCOUNT, count, 0);
    SelectEverySecondRow(bareList);
    PumpMessages();
    start = Now();
    BareDelete(bareList);
    const double removeFloor = Now() - start;
    Report("delete", count, remove, removeFloor);

    // OK: the list written over the master copy's section, against one write of the same text.
    start = Now();
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const double ok = Now() - start;
    std::string text;
    ReadWholeFile(settings.c_str(), &text);
    start = Now();
    WriteWhole(directory + "floorok.dat", text);
    const double okFloor = Now() - start;
    Report("ok", count, ok, okFloor);
    DestroyWindow(dialog);
    DestroyWindow(bare);
    PumpMessages();
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
    if (!UseModuleCopyIn(directory)) {
        std::printf("zrlogext.dll was not found beside zrbench.exe\n");
        return 1;
    }

    for (size_t count : {1000u, 10000u, 100000u}) {
        Measure(directory, count);
        MeasureDialog(directory, count);
    }
    return 0;
}
