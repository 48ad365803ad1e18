#include "shellext/property_pages.h"

#include <cstring>

#include "dialogs/entry_dialogs.h"
#include "res/resource.h"
#include "settings/job_account_info.h"
#include "resolve/resolve.h"
#include "settings/export_barrier.h"
#include "shellext/shell_ext.h"

const char PrinterNameFormat[] = "PrinterFriendlyName";

namespace {

// The page never asks: the colour-password popup and the job account popup are forced off. It has
// no job either: it shows and stores the entries of the user who opened it, whoever's job the
// printer is spooling meanwhile.
const DWORD PageOverrides = OVR_POPUP | OVR_COLOR_PASSWORD | OVR_CALLER;

// Copies the first name of a file-drop block, wide or ANSI, into `name`; false when there is none.
bool FirstDroppedName(HGLOBAL block, char (&name)[PathChars])
{
    name[0] = '\0';
    SIZE_T size = GlobalSize(block);
    const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(block));
    if (!bytes)
        return false;
    bool found = false;
    if (size >= sizeof(DROPFILES)) {
        const DROPFILES* drop = reinterpret_cast<const DROPFILES*>(bytes);
        if (drop->pFiles >= sizeof(DROPFILES) && drop->pFiles < size) {
            if (drop->fWide) {
                const WCHAR* wide = reinterpret_cast<const WCHAR*>(bytes + drop->pFiles);
                size_t chars = (size - drop->pFiles) / sizeof(WCHAR);
                size_t length = 0;
                while (length < chars && wide[length])
                    ++length;
                if (length > 0 && length < chars) {
                    int written = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), name,
                                                      sizeof name - 1, nullptr, nullptr);
                    if (written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
                        // Longer than a path: keep what fits rather than nothing.
                        char whole[4 * PathChars];
                        written = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), whole,
                                                      sizeof whole, nullptr, nullptr);
                        if (written > 0) {
                            if (written > static_cast<int>(sizeof name - 1))
                                written = sizeof name - 1;
                            memcpy(name, whole, written);
                        }
                    }
                    if (written > 0) {
                        name[written] = '\0';
                        found = true;
                    }
                }
            } else {
                const char* ansi = reinterpret_cast<const char*>(bytes + drop->pFiles);
                size_t chars = size - drop->pFiles;
                size_t length = 0;
                while (length < chars && ansi[length])
                    ++length;
                if (length > 0 && length < chars) {
                    lstrcpynA(name, ansi, sizeof name);
                    found = true;
                }
            }
        }
    }
    GlobalUnlock(block);
    return found;
}

}  // namespace

bool JobAccountShellExt::ReadPrinterName()
{
    printerName_[0] = '\0';
    FORMATETC format = {};
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(PrinterNameFormat));
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    if (format.cfFormat == 0)
        return false;
    STGMEDIUM medium = {};
    if (FAILED(dataObject_->GetData(&format, &medium)))
        return false;
    bool found = medium.tymed == TYMED_HGLOBAL && medium.hGlobal && FirstDroppedName(medium.hGlobal, printerName_);
    ReleaseStgMedium(&medium);
    return found;
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM parameter)
{
    // Called by the shell, where an exception would end the process showing the printer's properties.
    return AnswerOrFail(HRESULT{E_OUTOFMEMORY}, [&] { return AddJobAccountPage(addPage, parameter); });
}

HRESULT JobAccountShellExt::AddJobAccountPage(LPFNSVADDPROPSHEETPAGE addPage, LPARAM parameter)
{
    if (!dataObject_ || !addPage || !ReadPrinterName())
        return S_OK;

    JobAccountInfo* info = ResolveJobAccount(printerName_, PageOverrides);
    if (!info)
        return S_OK;
    if (!(info->Flags & JAF_TAB)) {
        ReleaseJobAccountInfo(info);
        return S_OK;
    }

    PROPSHEETPAGEA page = {};
    page.dwSize = PROPSHEETPAGEA_V1_SIZE;
    page.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
    page.hInstance = Module.ModuleInstance;
    page.pszTemplate = MAKEINTRESOURCEA(IDD_JOBACCOUNT_PAGE);
    page.pszTitle = info->TabTitle;
    page.pfnDlgProc = JobAccountDialogProc;
    page.lParam = reinterpret_cast<LPARAM>(info);
    page.pfnCallback = JobAccountPageCallback;

    info->PageOwner = Identity();
    AddRef();
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
    if (!handle) {
        info->PageOwner = nullptr;
        ReleaseJobAccountInfo(info);
        Release();
        return S_OK;
    }
    // A refused page is destroyed, and its release callback gives back the record and reference.
    if (!addPage(handle, parameter))
        DestroyPropertySheetPage(handle);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::ReplacePage(EXPPS /*pageId*/, LPFNSVADDPROPSHEETPAGE /*replaceWith*/,
                                                          LPARAM /*parameter*/)
{
    return E_FAIL;
}

// A failed call answers 0, which for PSPCB_CREATE leaves the page out of the sheet.
UINT CALLBACK JobAccountPageCallback(HWND /*window*/, UINT message, LPPROPSHEETPAGEA page)
{
    return CallbackOrFail(UINT{0}, [&] {
        if (message == PSPCB_RELEASE && page) {
            JobAccountInfo* info = reinterpret_cast<JobAccountInfo*>(page->lParam);
            if (info) {
                IUnknown* owner = info->PageOwner;
                ReleaseJobAccountInfo(info);
                if (owner)
                    owner->Release();
            }
        }
        return UINT{1};
    });
}
