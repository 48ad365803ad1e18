#include "dialogs/browse_folder.h"

#include <shlobj.h>

#include "dialogs/dialog_helpers.h"
#include "settings/profile.h"
#include "settings/text.h"

namespace {

// The shell's allocator frees the item lists the browser hands out.
class ShellAllocator {
public:
    ShellAllocator() { SHGetMalloc(&malloc_); }
    ~ShellAllocator()
    {
        if (malloc_)
            malloc_->Release();
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;
    void Free(LPITEMIDLIST items)
    {
        if (items && malloc_)
            malloc_->Free(items);
        else if (items)
            CoTaskMemFree(items);
    }

private:
    IMalloc* malloc_ = nullptr;
};

int CALLBACK SelectStartFolder(HWND browser, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, start);
    return 0;
}

void StartAtDocuments(HWND owner, ShellAllocator& allocator, char (&path)[PathChars])
{
    LPITEMIDLIST documents = nullptr;
    if (SHGetSpecialFolderLocation(owner, CSIDL_PERSONAL, &documents) != S_OK || !documents)
        return;
    char found[PathChars] = {};
    if (SHGetPathFromIDListA(documents, found))
        CopyCut(path, found);
    allocator.Free(documents);
}

}  // namespace

int BrowseForFolder(HWND owner, char (&path)[PathChars])
{
    ShellAllocator allocator;
    if (!path[0])
        StartAtDocuments(owner, allocator, path);
    // The browser writes the chosen item's display name into `path`; the start folder stays apart.
    char start[PathChars] = {};
    CopyCut(start, path);
    char instruction[PathChars] = {};
    ReadStringText("SelectPathMessage", "Select a folder.", instruction, sizeof instruction);

    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = path;
    info.lpszTitle = instruction;
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(start);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (!chosen)
        return 0;
    char folder[PathChars] = {};
    if (SHGetPathFromIDListA(chosen, folder))
        CopyCut(path, folder);
    allocator.Free(chosen);
    return 1;
}
