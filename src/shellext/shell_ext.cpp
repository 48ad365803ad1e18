#include "shellext/shell_ext.h"

#include "settings/export_barrier.h"

JobAccountShellExt::JobAccountShellExt() : printerName_(), references_(0), dataObject_(nullptr)
{
    InterlockedIncrement(&ObjectCount);
}

JobAccountShellExt::~JobAccountShellExt()
{
    if (dataObject_)
        dataObject_->Release();
    InterlockedDecrement(&ObjectCount);
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellExtInit)) {
        *out = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(iid, IID_IShellPropSheetExt)) {
        *out = static_cast<IShellPropSheetExt*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// The page holds a reference that its release callback gives back on the sheet's thread, while the
// shell may release its own on another.
ULONG STDMETHODCALLTYPE JobAccountShellExt::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE JobAccountShellExt::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::Initialize(PCIDLIST_ABSOLUTE /*folder*/, IDataObject* dataObject,
                                                         HKEY /*key*/)
{
    // The data object is the shell's code, called from here.
    return CallbackOrFail(HRESULT{E_UNEXPECTED}, [&] {
        // Take the new reference first: the same object may be handed in again.
        if (dataObject)
            dataObject->AddRef();
        if (dataObject_)
            dataObject_->Release();
        dataObject_ = dataObject;
        return HRESULT{S_OK};
    });
}
