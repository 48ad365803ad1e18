// The class factory of the property-sheet extension and the module's two COM exports.
#pragma once

#include <windows.h>
#include <objbase.h>

class JobAccountClassFactory final : public IClassFactory {
public:
    JobAccountClassFactory();
    JobAccountClassFactory(const JobAccountClassFactory&) = delete;
    JobAccountClassFactory& operator=(const JobAccountClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~JobAccountClassFactory();

    LONG references_;
};

// DllGetClassObject and DllCanUnloadNow are declared by <objbase.h>.
