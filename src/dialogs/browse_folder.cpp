#include "dialogs/browse_folder.h"

#include <shlobj.h>

#include <cstring>

#include "dialogs/dialog_helpers.h"
#include "settings/export_barrier.h"
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
    return CallbackOrFail(0, [&] {
        if (message == BFFM_INITIALIZED)
            SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, start);
        return 0;
    });
}

void StartAtDocuments(HWND owner, ShellAllocator& allocator, char (&path)[PathChars])
{
    LPITEMIDLIST documents = nullptr;
    if (SHGetSpecialFolderLocation(owner, CSIDL_PERSONAL, &documents) != S_OK || !documents)
        return;
    char found[PathChars] = {};
    if (SHGetPathFromIDListA(documents, found)) {
        // Callers append "\<file>"; a folder other than a drive's root is named without a last backslash.
        size_t length = strlen(found);
        if (length > 3 && found[length - 1] == '\\')
            found[length - 1] = '\0';
        CopyCut(path, found);
    }
    allocator.Free(documents);
}

}  // namespace

int BrowseForFolder(HWND owner, char (&path)[PathChars])
{
    ShellAllocator allocator;
    if (!path[0])
        StartAtDocuments(owner, allocator, path);
    // The browser writes a display name even when cancelled; only a chosen folder reaches `path`.
    char displayName[PathChars] = {};
    char instruction[PathChars] = {};
    ReadStringText("SelectPathMessage", "Select a folder.", instruction, sizeof instruction);

    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = instruction;
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(path);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (!chosen)
        return 0;
    char folder[PathChars] = {};
    CopyCut(path, SHGetPathFromIDListA(chosen, folder) ? folder : displayName);
    allocator.Free(chosen);
    return 1;
}
