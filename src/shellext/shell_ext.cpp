#include "shellext/shell_ext.h"

JobAccountShellExt::JobAccountShellExt() : printerName_(), references_(0), dataObject_(nullptr) { ++ObjectCount; }

JobAccountShellExt::~JobAccountShellExt()
{
    if (dataObject_)
        dataObject_->Release();
    --ObjectCount;
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

ULONG STDMETHODCALLTYPE JobAccountShellExt::AddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE JobAccountShellExt::Release()
{
    LONG left = --references_;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE JobAccountShellExt::Initialize(PCIDLIST_ABSOLUTE /*folder*/, IDataObject* dataObject,
                                                         HKEY /*key*/)
{
    // Take the new reference first: the same object may be handed in again.
    if (dataObject)
        dataObject->AddRef();
    if (dataObject_)
        dataObject_->Release();
    dataObject_ = dataObject;
    return S_OK;
}
