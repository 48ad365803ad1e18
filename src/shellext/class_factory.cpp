#include "shellext/class_factory.h"

#include <new>

#include "settings/export_barrier.h"
#include "shellext/shell_ext.h"

// {5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}
const CLSID CLSID_JobAccountShellExt = {0x5E0A41C7, 0x2B93, 0x4d6f, {0x9C, 0x18, 0x7A, 0x3E, 0x52, 0xD0, 0x6B, 0x94}};
const char JobAccountClassIdText[] = "{5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}";

// Changed only through interlocked operations: the shell runs a property sheet on a thread of its
// own, whose page gives back its hold on the extension object there, while the thread that made the
// object may ask DllCanUnloadNow at the same moment. A lost update would let the shell unload the
// module under an open page.
LONG ObjectCount = 0;

namespace {

// The locks LockServer holds. Each is also one of ObjectCount's holds, so that DllCanUnloadNow
// answers from a single read, with no order of two reads to get right while a client locks the
// server and releases its factory; this count only keeps an unlock that follows no lock from taking
// away a hold that belongs to an object.
LONG ServerLocks = 0;

// Takes back one lock; false when none is held.
bool TakeBackServerLock()
{
    LONG held = InterlockedCompareExchange(&ServerLocks, 0, 0);
    while (held > 0) {
        const LONG seen = InterlockedCompareExchange(&ServerLocks, held - 1, held);
        if (seen == held)
            return true;
        held = seen;
    }
    return false;
}

}  // namespace

JobAccountClassFactory::JobAccountClassFactory() : references_(0) { InterlockedIncrement(&ObjectCount); }

JobAccountClassFactory::~JobAccountClassFactory() { InterlockedDecrement(&ObjectCount); }

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

ULONG STDMETHODCALLTYPE JobAccountClassFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE JobAccountClassFactory::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE JobAccountClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    return CallbackOrFail(HRESULT{E_UNEXPECTED}, [&] {
        if (!out)
            return HRESULT{E_POINTER};
        *out = nullptr;
        if (outer)
            return HRESULT{CLASS_E_NOAGGREGATION};
        JobAccountShellExt* object = new (std::nothrow) JobAccountShellExt();
        if (!object)
            return HRESULT{E_OUTOFMEMORY};
        // Held across the query so that an interface the object does not have frees it again.
        object->AddRef();
        HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    });
}

// A lock keeps the module loaded until the matching unlock, whatever objects come and go meanwhile:
// a client may lock the server, release every object and create new ones later.
HRESULT STDMETHODCALLTYPE JobAccountClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        // The module's hold before the lock: an unlock on another thread that takes this lock back
        // never takes away a hold that is not there yet.
        InterlockedIncrement(&ObjectCount);
        InterlockedIncrement(&ServerLocks);
        return S_OK;
    }
    if (!TakeBackServerLock())
        return E_UNEXPECTED;
    InterlockedDecrement(&ObjectCount);
    return S_OK;
}

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

STDAPI DllCanUnloadNow() { return InterlockedCompareExchange(&ObjectCount, 0, 0) == 0 ? S_OK : S_FALSE; }
