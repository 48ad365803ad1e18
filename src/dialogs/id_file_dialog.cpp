#include "dialogs/id_file_dialog.h"

#include <commdlg.h>

#include <string>

#include "dialogs/dialog_helpers.h"
#include "settings/text.h"

namespace {

// "<ID File>(*.csv)", "*.csv", "<All Files>(*.*)", "*.*", each ended by a zero, the list by another.
std::string IDFileFilters()
{
    char idFiles[15] = {};
    char allFiles[15] = {};
    ReadDialogText("IDFile", "ID File", idFiles);
    ReadDialogText("AllFiles", "All Files", allFiles);
    std::string filters = std::string(idFiles) + "(*.csv)";
    filters += '\0';
    filters += "*.csv";
    filters += '\0';
    filters += std::string(allFiles) + "(*.*)";
    filters += '\0';
    filters += "*.*";
    filters += '\0';
    return filters;  // the string's own terminator ends the list
}

}  // namespace

bool ChooseIDFile(HWND owner, char (&path)[PathChars])
{
    if (!ComposePath(path, {Module.ModuleDirectory, "*.csv"}))
        path[0] = '\0';
    std::string filters = IDFileFilters();
    char title[DialogTextChars] = {};
    ReadDialogText("SelectIDFileTitle", "Select ID File", title);
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = "csv";
    return GetOpenFileNameA(&dialog) != FALSE;
}
