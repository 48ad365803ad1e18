#include "tools/printer_data_object.h"

#include <shlobj.h>

#include <cstring>
#include <new>
#include <string>

#include "shellext/property_pages.h"

namespace {

class PrinterDataObject final : public IDataObject {
public:
    explicit PrinterDataObject(const char* printer) : printer_(printer) {}
    PrinterDataObject(const PrinterDataObject&) = delete;
    PrinterDataObject& operator=(const PrinterDataObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || !medium)
            return E_INVALIDARG;
        HRESULT offered = QueryGetData(format);
        if (offered != S_OK)
            return offered;
        // One wide name, then the empty name that ends the list.
        int chars = MultiByteToWideChar(CP_ACP, 0, printer_.c_str(), -1, nullptr, 0);
        if (chars <= 0)
            return E_FAIL;
        SIZE_T size = sizeof(DROPFILES) + (static_cast<SIZE_T>(chars) + 1) * sizeof(WCHAR);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        if (!block)
            return E_OUTOFMEMORY;
        BYTE* bytes = static_cast<BYTE*>(GlobalLock(block));
        if (!bytes) {
            GlobalFree(block);
            return E_OUTOFMEMORY;
        }
        DROPFILES* drop = reinterpret_cast<DROPFILES*>(bytes);
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        MultiByteToWideChar(CP_ACP, 0, printer_.c_str(), -1, reinterpret_cast<WCHAR*>(bytes + sizeof(DROPFILES)),
                            chars);
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        if (!format)
            return E_INVALIDARG;
        if (format->cfFormat != RegisterClipboardFormatA(PrinterNameFormat))
            return DV_E_FORMATETC;
        return (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_TYMED;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        if (out)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~PrinterDataObject() = default;

    std::string printer_;
    LONG references_ = 1;
};

}  // namespace

IDataObject* CreatePrinterDataObject(const char* printer)
{
    return new (std::nothrow) PrinterDataObject(printer);
}
