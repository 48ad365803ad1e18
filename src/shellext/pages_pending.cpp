// Until the job account page exists the extension adds no page.
#include "shellext/shell_ext.h"

HRESULT STDMETHODCALLTYPE JobAccountShellExt::AddPages(LPFNSVADDPROPSHEETPAGE /*addPage*/, LPARAM /*parameter*/)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::ReplacePage(EXPPS /*pageId*/, LPFNSVADDPROPSHEETPAGE /*replaceWith*/,
                                                          LPARAM /*parameter*/)
{
    return E_FAIL;
}

bool JobAccountShellExt::ReadPrinterName() { return false; }
