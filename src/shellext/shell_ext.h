// The printer property-sheet extension: one COM class, created per property sheet by the shell.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "settings/module_state.h"

// {5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}
extern const CLSID CLSID_JobAccountShellExt;
// The class id exactly as it is written into the registry.
extern const char JobAccountClassIdText[];

// What holds this module loaded: its living class factories and extension objects, and the locks
// clients took with IClassFactory::LockServer. The module may be unloaded at 0.
extern LONG ObjectCount;

// IShellExtInit is the primary interface and the object's identity; IShellPropSheetExt is the
// second interface of the same object, sharing its one reference count.
class JobAccountShellExt final : public IShellExtInit, public IShellPropSheetExt {
public:
    JobAccountShellExt();
    JobAccountShellExt(const JobAccountShellExt&) = delete;
    JobAccountShellExt& operator=(const JobAccountShellExt&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IShellExtInit: keeps the data object that names the printer.
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* dataObject, HKEY key) override;

    // IShellPropSheetExt (property_pages.cpp)
    HRESULT STDMETHODCALLTYPE AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM parameter) override;
    HRESULT STDMETHODCALLTYPE ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replaceWith, LPARAM parameter) override;

    // The identity handed out as IUnknown.
    IUnknown* Identity() { return static_cast<IShellExtInit*>(this); }

private:
    ~JobAccountShellExt();

    // Fills printerName_ from the data object; false when it names no printer.
    bool ReadPrinterName();
    // Adds the page for a Tab-mode printer.
    HRESULT AddJobAccountPage(LPFNSVADDPROPSHEETPAGE addPage, LPARAM parameter);

    char printerName_[PathChars];
    LONG references_;
    IDataObject* dataObject_;
};
