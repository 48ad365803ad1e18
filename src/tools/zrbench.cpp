// Times the registered-ID list's whole-file operations at 1,000, 10,000 and 100,000 entries, each
// beside the platform's floor for the same work measured in the same run:
//   import  an ID file into a settings file and one copy of it (as propagation makes), against one
//           read of the ID file, one write of the settings file's whole text, one copy, one
//           section read;
//   load    the registered-ID section into rows, against one section read;
//   list    the rows as an ID file (what `jobacct list` prints), against one section read and one
//           write of the same text.
// Run under Wine: scripts/wine-run.sh build64/bin/zrbench.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "idlist/id_import.h"
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

}  // namespace

int main()
{
    char temporary[MAX_PATH] = {};
    GetTempPathA(sizeof temporary, temporary);
    const std::string directory = std::string(temporary) + "zrbench\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    for (size_t count : {1000u, 10000u, 100000u})
        Measure(directory, count);
    return 0;
}
