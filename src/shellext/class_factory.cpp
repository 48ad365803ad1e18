#include "shellext/class_factory.h"

#include <new>

#include "shellext/shell_ext.h"

// {5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}
const CLSID CLSID_JobAccountShellExt = {0x5E0A41C7, 0x2B93, 0x4d6f, {0x9C, 0x18, 0x7A, 0x3E, 0x52, 0xD0, 0x6B, 0x94}};
const char JobAccountClassIdText[] = "{5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}";

// Plain counter: every object of the class lives on its creator's (apartment) thread.
LONG ObjectCount = 0;

JobAccountClassFactory::JobAccountClassFactory() : references_(0) { ++ObjectCount; }

JobAccountClassFactory::~JobAccountClassFactory() { --ObjectCount; }

HRESULT STDMETHODCALLTYPE JobAccountClassFactory::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE JobAccountClassFactory::AddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE JobAccountClassFactory::Release()
{
    LONG left = --references_;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE JobAccountClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    JobAccountShellExt* object = new (std::nothrow) JobAccountShellExt();
    if (!object)
        return E_OUTOFMEMORY;
    // Held across the query so that an interface the object does not have frees it again.
    object->AddRef();
    HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

HRESULT STDMETHODCALLTYPE JobAccountClassFactory::LockServer(BOOL /*lock*/) { return S_OK; }

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(classId, CLSID_JobAccountShellExt))
        return CLASS_E_CLASSNOTAVAILABLE;
    // The pages the factory's objects add read the module's settings.
    if (!EnsureModuleSettings())
        return E_OUTOFMEMORY;
    JobAccountClassFactory* factory = new (std::nothrow) JobAccountClassFactory();
    if (!factory)
        return E_OUTOFMEMORY;
    // A factory nobody could take is not left counted: it would keep the module loaded for good.
    factory->AddRef();
    HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() { return ObjectCount == 0 ? S_OK : S_FALSE; }
