// The printer property-sheet extension: its COM server, its registration and the page it adds.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <prsht.h>
#include <lmcons.h>
#include <sddl.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resolve/resolve.h"
#include "admin_fixture.h"
#include "host_run.h"
#include "iat_hook.h"
#include "job_standin.h"
#include "profile_fixture.h"
#include "sandbox.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "shellext/class_factory.h"
#include "shellext/registration.h"
#include "shellext/shell_ext.h"
#include "spooler_fixture.h"

namespace {

const char ClassKeyPath[] = "CLSID\\{5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}";
const char ClassIdText[] = "{5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}";
const char HandlersPath[] = "Printers\\shellex\\PropertySheetHandlers";
const char ApprovedPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char DefaultName[] = "TAVRO Jobtally Client";

// A data object that counts its references and names a printer in "PrinterFriendlyName".
class PrinterDataObject : public IDataObject {
public:
    enum class Content { WideName, AnsiName, NoNames, Refuse };

    explicit PrinterDataObject(std::string printer, Content content = Content::WideName)
        : printer_(std::move(printer)), content_(content)
    {
    }

    LONG references = 1;
    int getDataCalls = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        ++getDataCalls;
        if (content_ == Content::Refuse || format->cfFormat != RegisterClipboardFormatA("PrinterFriendlyName") ||
            !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        std::string names;
        bool wide = content_ == Content::WideName;
        if (content_ != Content::NoNames) {
            if (wide) {
                std::wstring w(printer_.begin(), printer_.end());
                names.assign(reinterpret_cast<const char*>(w.c_str()), (w.size() + 1) * sizeof(WCHAR));
            } else {
                names = printer_ + '\0';
            }
        }
        names.append(wide ? 2 : 1, '\0');
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
        auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = wide;
        memcpy(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES), names.data(), names.size());
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::string printer_;
    Content content_;
};

class DummyUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// A factory and an extension object from this program's own copy of the module code.
IClassFactory* GetFactory()
{
    IClassFactory* factory = nullptr;
    EXPECT_EQ(DllGetClassObject(CLSID_JobAccountShellExt, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    return factory;
}

}  // namespace

TEST(ClassObject, AnswersOnlyForTheExtensionClass)
{
    struct Case {
        const char* what;
        CLSID classId;
        IID iid;
        HRESULT result;
    } cases[] = {
        {"unknown class", IID_IShellExtInit, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"factory interface", CLSID_JobAccountShellExt, IID_IClassFactory, S_OK},
        {"its IUnknown", CLSID_JobAccountShellExt, IID_IUnknown, S_OK},
        {"an interface it lacks", CLSID_JobAccountShellExt, IID_IShellExtInit, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(DllGetClassObject(c.classId, c.iid, &out), c.result) << c.what;
        if (c.result == S_OK) {
            ASSERT_NE(out, nullptr) << c.what;
            EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << c.what;
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << c.what;
        } else {
            EXPECT_EQ(out, nullptr) << c.what;
        }
        // No factory is left behind, whether it was taken or not.
        EXPECT_EQ(ObjectCount, 0) << c.what;
        EXPECT_EQ(DllCanUnloadNow(), S_OK) << c.what;
    }
}

// A lock keeps the module loaded with no object left, until it is given back, through any factory;
// an unlock without a lock takes nothing from the holds the objects have.
TEST(ClassObject, ModuleStaysLoadedWhileAFactoryAnObjectOrALockLives)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

    IShellExtInit* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the object still lives";
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the lock still holds";

    factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED) << "no lock is left to give back";
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the factory still lives";
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// The shell releases the extension on the property sheet's thread while other threads make and
// release objects: no count loses an update. The shared object is held a million times over, so
// that a lost update shows as a wrong count rather than as an object deleted under its users.
TEST(ClassObject, CountsStayExactWhileThreadsMakeAndReleaseObjectsAtOnce)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    IUnknown* shared = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&shared)), S_OK);
    const ULONG held = 1000000;
    for (ULONG i = 0; i < held; ++i)
        shared->AddRef();
    const LONG holds = 3;  // the factory, the shared object, the lock

    const int threads = 4, rounds = 8000, referencesPerRound = 500, objectsPerRound = 2;
    std::atomic<int> started{0};
    std::atomic<int> failedCreations{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            // All at once, or the first may be done before the last has started.
            ++started;
            while (started < threads)
                std::this_thread::yield();
            for (int round = 0; round < rounds; ++round) {
                for (int i = 0; i < referencesPerRound; ++i) {
                    shared->AddRef();
                    shared->Release();
                }
                for (int i = 0; i < objectsPerRound; ++i) {
                    IClassFactory* own = nullptr;
                    IShellPropSheetExt* object = nullptr;
                    const HRESULT made =
                        DllGetClassObject(CLSID_JobAccountShellExt, IID_IClassFactory, reinterpret_cast<void**>(&own));
                    if (made != S_OK ||
                        own->CreateInstance(nullptr, IID_IShellPropSheetExt, reinterpret_cast<void**>(&object)) != S_OK)
                        ++failedCreations;
                    else
                        object->Release();
                    if (own)
                        own->Release();
                }
            }
        });
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ(failedCreations, 0);
    EXPECT_EQ(shared->AddRef(), held + 2);
    EXPECT_EQ(ObjectCount, holds);
    // A count that lost updates cannot be released safely: the test leaves the object then.
    ASSERT_FALSE(HasFailure());
    for (ULONG i = 0; i < held + 1; ++i)
        shared->Release();
    EXPECT_EQ(shared->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the factory and the lock";
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the lock";
    factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassObject, FactoryRefusesAggregationAndUnknownInterfaces)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    DummyUnknown outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IShellExtInit, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ObjectCount, 1) << "only the factory";
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(ObjectCount, 0);
}

TEST(ExtensionObject, OneCountAndOneIdentityForBothInterfaces)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    factory->Release();

    IShellExtInit* init = nullptr;
    IShellPropSheetExt* sheet = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)), S_OK);
    EXPECT_NE(static_cast<void*>(sheet), static_cast<void*>(init));
    IUnknown* fromSheet = nullptr;
    ASSERT_EQ(sheet->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSheet)), S_OK);
    EXPECT_EQ(fromSheet, unknown) << "IUnknown is the same pointer from either interface";
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(sheet->QueryInterface(IID_IDataObject, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(sheet->ReplacePage(EXPPS_FILETYPES, nullptr, 0), E_FAIL) << "pages are never replaced";

    // Four references now; the count is the object's, whichever interface releases.
    EXPECT_EQ(fromSheet->Release(), 3u);
    EXPECT_EQ(init->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(ObjectCount, 1);
    EXPECT_EQ(sheet->Release(), 0u) << "released through the second interface, it goes";
    EXPECT_EQ(ObjectCount, 0);
}

TEST(ExtensionObject, HoldsOnlyTheLatestDataObject)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(factory, nullptr);
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    factory->Release();

    PrinterDataObject first("ZR One"), second("ZR Two");
    EXPECT_EQ(init->Initialize(nullptr, &first, nullptr), S_OK);
    EXPECT_EQ(first.references, 2);
    EXPECT_EQ(init->Initialize(nullptr, &first, nullptr), S_OK);
    EXPECT_EQ(first.references, 2) << "the same object handed in again is held once";
    EXPECT_EQ(init->Initialize(nullptr, &second, HKEY_CLASSES_ROOT), S_OK);
    EXPECT_EQ(first.references, 1);
    EXPECT_EQ(second.references, 2);
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(second.references, 1);

    EXPECT_EQ(init->Initialize(nullptr, &second, nullptr), S_OK);
    EXPECT_EQ(init->Release(), 0u);
    EXPECT_EQ(second.references, 1) << "the last release gives the data object back";
    EXPECT_EQ(first.references, 1);
}

namespace {

std::string ReadText(HKEY root, const std::string& path, const char* name, DWORD* type = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD kind = 0;
    LONG error = RegQueryValueExA(key, name, nullptr, &kind, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (type)
        *type = kind;
    return error == ERROR_SUCCESS ? std::string(buffer) : "<no value>";
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

DWORD ValueCount(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return values;
}

// Handlers whose default value names the extension's class.
std::vector<std::string> OurHandlers()
{
    std::vector<std::string> ours;
    for (const std::string& name : SubkeyNames(HKEY_CLASSES_ROOT, HandlersPath))
        if (ReadText(HKEY_CLASSES_ROOT, std::string(HandlersPath) + "\\" + name, nullptr) == ClassIdText)
            ours.push_back(name);
    return ours;
}

// Every test starts and ends without the extension's entries.
class Registration : public testing::Test {
protected:
    static void Clean()
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKeyPath);
        for (const std::string& name : OurHandlers())
            RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string(HandlersPath) + "\\" + name).c_str());
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ApprovedPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, ClassIdText);
            RegCloseKey(key);
        }
    }
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
};

}  // namespace

TEST_F(Registration, WritesTheEntriesTheShellLoadsTheClassBy)
{
    struct Case {
        const char* stringFile;
        const char* name;
    } cases[] = {
        {"", DefaultName},
        {"ExtensionName=ZR Test Handler\r\n", "ZR Test Handler"},
        {"ExtensionName=\r\n", DefaultName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(c.stringFile));
        ASSERT_EQ(RegisterExtension(), 0);

        // The class key carries the id in exactly this letter case.
        std::vector<std::string> classes = SubkeyNames(HKEY_CLASSES_ROOT, "CLSID");
        bool exact = false;
        for (const std::string& name : classes)
            exact = exact || name == ClassIdText;
        EXPECT_TRUE(exact);

        DWORD type = 0;
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ClassKeyPath, nullptr, &type), c.name);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        std::string server = std::string(ClassKeyPath) + "\\InProcServer32";
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, nullptr, &type), sandbox.Directory() + "zrlogext.dll");
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, "ThreadingModel", &type), "Apartment");
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::string(HandlersPath) + "\\" + c.name, nullptr, &type),
                  ClassIdText);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, ApprovedPath, ClassIdText, &type), c.name);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

        ASSERT_EQ(UnregisterExtension(), 0);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyPath));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(HandlersPath) + "\\" + c.name));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, HandlersPath)) << "the handler list itself stays";
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, ApprovedPath, ClassIdText), "<no value>");
    }
}

TEST_F(Registration, RegisteringTwiceLeavesOneSet)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("ExtensionName=ZR Twice\r\n"));
    ASSERT_EQ(RegisterExtension(), 0);
    ASSERT_EQ(RegisterExtension(), 0);
    EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT, ClassKeyPath), std::vector<std::string>{"InProcServer32"});
    EXPECT_EQ(ValueCount(HKEY_CLASSES_ROOT, ClassKeyPath), 1u);
    EXPECT_EQ(ValueCount(HKEY_CLASSES_ROOT, std::string(ClassKeyPath) + "\\InProcServer32"), 2u);
    EXPECT_EQ(OurHandlers(), std::vector<std::string>{"ZR Twice"});
    ASSERT_EQ(UnregisterExtension(), 0);
    EXPECT_TRUE(OurHandlers().empty());
}

TEST_F(Registration, UnregisteringWithoutTheClassKeyRemovesNothing)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("ExtensionName=ZR Half Gone\r\n"));
    ASSERT_EQ(RegisterExtension(), 0);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKeyPath), ERROR_SUCCESS);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassKeyPath);
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyPath));

    EXPECT_EQ(UnregisterExtension(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OurHandlers(), std::vector<std::string>{"ZR Half Gone"});
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, ApprovedPath, ClassIdText), "ZR Half Gone");
}

TEST_F(Registration, UnregisteringUnderAnotherNameLeavesTheOldHandler)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("ExtensionName=ZR Old Name\r\n"));
    ASSERT_EQ(RegisterExtension(), 0);
    WriteFileBytes(sandbox.Directory() + "zrjobacs.str",
                   "[common]\r\nRegRoot=" + sandbox.RegistryRoot() + "\r\nExtensionName=ZR New Name\r\n");
    sandbox.Reload();

    // The handler of the new name does not exist: the class key is gone, the old handler stays.
    EXPECT_EQ(UnregisterExtension(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyPath));
    EXPECT_EQ(OurHandlers(), std::vector<std::string>{"ZR Old Name"});
}

namespace {

// COM initialised on this (apartment) thread for the test's life.
struct Apartment {
    Apartment() { result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    HRESULT result;
};

using CanUnloadFn = HRESULT(WINAPI*)();

HMODULE ModuleOfAddress(const void* address)
{
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(address, &info, sizeof info);
    return static_cast<HMODULE>(info.AllocationBase);
}

}  // namespace

TEST_F(Registration, TheShellLoadsTheRegisteredModuleCopy)
{
    ModuleSandbox sandbox;
    ASSERT_EQ(RegisterExtension(), 0);
    Apartment apartment;
    ASSERT_TRUE(SUCCEEDED(apartment.result));
    auto canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    ASSERT_NE(GetProcAddress(sandbox.Handle(), "DllGetClassObject"), nullptr);

    IShellExtInit* init = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_JobAccountShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                               reinterpret_cast<void**>(&init)),
              S_OK);
    // The object's code is the registered copy's, not this program's.
    EXPECT_EQ(ModuleOfAddress(*reinterpret_cast<void**>(init)), sandbox.Handle());
    EXPECT_EQ(canUnload(), S_FALSE);
    IShellPropSheetExt* sheet = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)), S_OK);
    init->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    sheet->Release();
    EXPECT_EQ(canUnload(), S_OK);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_JobAccountShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IDataObject, &out),
              E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
}

namespace {

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM parameter)
{
    reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(parameter)->push_back(page);
    return TRUE;
}

int RefusedPages = 0;
BOOL CALLBACK RefusePage(HPROPSHEETPAGE /*page*/, LPARAM /*parameter*/)
{
    ++RefusedPages;
    return FALSE;
}

// The shell's side of a property sheet: the extension from the registered module copy, initialised
// with a data object, asked for its pages, then released as the shell releases it.
class ShellSide {
public:
    explicit ShellSide(const ModuleSandbox& sandbox)
    {
        canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), "DllCanUnloadNow")));
        EXPECT_EQ(RegisterExtension(), 0);
        EXPECT_EQ(CoCreateInstance(CLSID_JobAccountShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                   reinterpret_cast<void**>(&init)),
                  S_OK);
        if (init) {
            EXPECT_EQ(init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheet)), S_OK);
        }
    }
    ~ShellSide() { ReleaseExtension(); }

    bool ok() const { return canUnload && init && sheet; }

    HRESULT AddPages(IDataObject* data, LPFNSVADDPROPSHEETPAGE add, LPARAM parameter)
    {
        EXPECT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
        return sheet->AddPages(add, parameter);
    }

    void ReleaseExtension()
    {
        if (sheet)
            sheet->Release();
        if (init)
            init->Release();
        sheet = nullptr;
        init = nullptr;
    }

    CanUnloadFn canUnload = nullptr;
    IShellExtInit* init = nullptr;
    IShellPropSheetExt* sheet = nullptr;
};

// Drivers share one directory: each gets a capability file of its own name.
DriverSpec ModeDriver(const std::string& name, const std::string& dataFile, const std::string& capability = "TVSHELL1.CAP")
{
    return DriverSpec{name, {capability, dataFile}, {{capability, CapabilityFile(name)}}};
}

// The page tests register the extension too, and start and end without its entries.
class PropertyPages : public Registration {};

std::string SheetTabText;

int CALLBACK CancelWhenShown(HWND sheet, UINT message, LPARAM /*parameter*/)
{
    if (message == PSCB_INITIALIZED) {
        HWND tabs = PropSheet_GetTabControl(sheet);
        char text[128] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        if (tabs && SendMessageA(tabs, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
            SheetTabText = text;
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    return 0;
}

}  // namespace

TEST_F(PropertyPages, TabPrinterGetsTheJobAccountPageUntilTheSheetCloses)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    ModuleSandbox sandbox;
    InstalledDriver driver(ModeDriver("ZR Tab", "vtjobac1.dat"));
    ASSERT_TRUE(driver.ok());
    InstalledPrinter printer("ZR Tab Printer", "ZR Tab");
    ASSERT_TRUE(printer.ok());
    Apartment apartment;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    ShellSide shell(sandbox);
    ASSERT_TRUE(shell.ok());
    PrinterDataObject data(printer.Name());
    std::vector<HPROPSHEETPAGE> pages;
    EXPECT_EQ(shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(data.getDataCalls, 1);

    // The shell lets go of the extension; the page keeps it, and with it the data object, alive.
    shell.ReleaseExtension();
    EXPECT_EQ(data.references, 2);
    EXPECT_EQ(shell.canUnload(), S_FALSE);

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_USECALLBACK | PSH_NOAPPLYNOW;
    header.pszCaption = "ZR Tab Printer Properties";
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    header.pfnCallback = CancelWhenShown;
    SheetTabText.clear();
    PropertySheetA(&header);
    EXPECT_EQ(SheetTabText, "Job Account");
    EXPECT_EQ(shell.canUnload(), S_OK) << "closing the sheet gave back the page's record and reference";
    EXPECT_EQ(data.references, 1);
}

TEST_F(PropertyPages, PagesOnlyForTabPrintersNamedByTheDataObject)
{
    ModuleSandbox sandbox;
    InstalledDriver tab(ModeDriver("ZR Tab", "vtjobac1.dat"));
    InstalledDriver popup(ModeDriver("ZR Popup", "vtjobac2.dat", "TVSHELL2.CAP"));
    InstalledDriver hide(ModeDriver("ZR Hide", "vtjobac4.dat", "TVSHELL3.CAP"));
    InstalledDriver none(DriverSpec{"ZR Plain", {"readme.txt"}});
    ASSERT_TRUE(tab.ok() && popup.ok() && hide.ok() && none.ok());
    InstalledPrinter tabPrinter("ZR Tab Printer", "ZR Tab");
    InstalledPrinter popupPrinter("ZR Popup Printer", "ZR Popup");
    InstalledPrinter hidePrinter("ZR Hide Printer", "ZR Hide");
    InstalledPrinter plainPrinter("ZR Plain Printer", "ZR Plain");
    Apartment apartment;

    using Content = PrinterDataObject::Content;
    struct Case {
        const char* printer;
        Content content;
        size_t pages;
    } cases[] = {
        {"ZR Tab Printer", Content::WideName, 1},
        {"ZR Tab Printer", Content::AnsiName, 1},
        {"ZR Tab Printer", Content::NoNames, 0},
        {"ZR Tab Printer", Content::Refuse, 0},
        {"ZR Popup Printer", Content::WideName, 0},
        {"ZR Hide Printer", Content::WideName, 0},
        {"ZR Plain Printer", Content::WideName, 0},
        {"ZR No Such Printer", Content::WideName, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.printer) + " content " + std::to_string(static_cast<int>(c.content)));
        ShellSide shell(sandbox);
        ASSERT_TRUE(shell.ok());
        PrinterDataObject data(c.printer, c.content);
        std::vector<HPROPSHEETPAGE> pages;
        EXPECT_EQ(shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
        EXPECT_EQ(pages.size(), c.pages);
        shell.ReleaseExtension();
        EXPECT_EQ(shell.canUnload(), c.pages ? S_FALSE : S_OK);
        for (HPROPSHEETPAGE page : pages)
            DestroyPropertySheetPage(page);
        EXPECT_EQ(shell.canUnload(), S_OK) << "destroying the page lets the object go";
        EXPECT_EQ(data.references, 1);
    }

    // Without a data object nothing is asked for.
    ShellSide shell(sandbox);
    ASSERT_TRUE(shell.ok());
    std::vector<HPROPSHEETPAGE> pages;
    EXPECT_EQ(shell.sheet->AddPages(CollectPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
    EXPECT_TRUE(pages.empty());
}

TEST_F(PropertyPages, RefusedPageLeavesNoReferenceBehind)
{
    ModuleSandbox sandbox;
    InstalledDriver driver(ModeDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab Printer", "ZR Tab");
    ASSERT_TRUE(driver.ok() && printer.ok());
    Apartment apartment;

    ShellSide shell(sandbox);
    ASSERT_TRUE(shell.ok());
    PrinterDataObject data(printer.Name());
    RefusedPages = 0;
    EXPECT_EQ(shell.AddPages(&data, RefusePage, 0), S_OK);
    EXPECT_EQ(RefusedPages, 1);
    // Only the shell's own two references remain.
    EXPECT_EQ(shell.init->AddRef(), 3u);
    EXPECT_EQ(shell.init->Release(), 2u);
    shell.ReleaseExtension();
    EXPECT_EQ(shell.canUnload(), S_OK);
}

namespace {

// Counts and cancels every dialog that comes up on this thread while the watch lives; the timer is
// dispatched by the dialog's own modal loop.
int PopupsSeen = 0;

BOOL CALLBACK CancelDialog(HWND window, LPARAM /*parameter*/)
{
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && strcmp(className, "#32770") == 0) {
        ++PopupsSeen;
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

void CALLBACK WatchForPopups(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0); }

struct PopupWatch {
    PopupWatch()
    {
        PopupsSeen = 0;
        timer = SetTimer(nullptr, 0, 50, WatchForPopups);
    }
    ~PopupWatch() { KillTimer(nullptr, timer); }
    UINT_PTR timer;
};

}  // namespace

TEST_F(PropertyPages, TabPageNeverAsksEvenWhenThePrinterWouldPopUp)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    InstalledDriver driver(ModeDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab Printer", "ZR Tab");
    ASSERT_TRUE(driver.ok() && printer.ok());
    PlantedProfile profile;
    Apartment apartment;

    // Popups are allowed on this version; each row would make a printer job ask.
    struct Row {
        const char* name;
        const char* settings;
        const char* account;
    } rows[] = {
        {"colour-password popup on for the printer", "PopupColorPassword=1\r\n",
         "[ZR Tab Printer]\r\nPopupColorPassword=1\r\n"},
        {"certificate ID mode without a stored ID", "GetVexaIDMode=1\r\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(std::string("VistaPopupDisabled=0\r\n") + row.settings,
                                                            std::to_string(&row - rows)));
        WriteFileBytes(profile.File(), row.account);
        {
            // The printer job itself would ask.
            PopupWatch watch;
            JobAccountInfo* info = ResolveJobAccount(printer.Name().c_str(), 0);
            if (info)
                ReleaseJobAccountInfo(info);
            EXPECT_EQ(PopupsSeen, 1);
        }

        ShellSide shell(sandbox);
        ASSERT_TRUE(shell.ok());
        PrinterDataObject data(printer.Name());
        std::vector<HPROPSHEETPAGE> pages;
        {
            PopupWatch watch;
            EXPECT_EQ(shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages)), S_OK);
            // Give a popup, had one been made modeless, the chance to show.
            MSG message;
            for (int i = 0; i < 4; ++i) {
                Sleep(30);
                while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&message);
            }
            EXPECT_EQ(PopupsSeen, 0);
        }
        EXPECT_EQ(pages.size(), 1u);
        for (HPROPSHEETPAGE page : pages)
            DestroyPropertySheetPage(page);
        shell.ReleaseExtension();
        EXPECT_EQ(shell.canUnload(), S_OK);
    }
}

namespace {

const char ChildVariable[] = "ZR_SHELLEXT_WIN98_CHILD";

// Runs a copy of this program (and the module beside it) that Wine runs as Windows 98, with only
// `test` selected; returns its exit code and fills `output`.
DWORD RunAsWin98(const std::string& test, std::string* output)
{
    std::string dir = FreshTestDirectory("win98");
    const char exe[] = "zrshellext98.exe";
    EXPECT_TRUE(CopyFileA((ProgramDirectory() + "shellext_test.exe").c_str(), (dir + exe).c_str(), FALSE));
    EXPECT_TRUE(CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), (dir + "zrlogext.dll").c_str(), FALSE));
    std::string appKey = std::string("Software\\Wine\\AppDefaults\\") + exe;
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);

    SetEnvironmentVariableA(ChildVariable, "1");
    ProgramRun run = RunProgram(dir + exe, "--gtest_filter=" + test, dir);
    SetEnvironmentVariableA(ChildVariable, nullptr);
    *output = run.out + run.err;
    RegDeleteTreeA(HKEY_CURRENT_USER, appKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, appKey.c_str());
    RemoveTree(dir);
    return run.exitCode;
}

}  // namespace

// The approval list exists on NT only: Windows 98 neither writes nor removes its entry.
TEST_F(Registration, LeavesTheApprovedListAloneOnWindows98)
{
    if (GetEnvironmentVariableA(ChildVariable, nullptr, 0) == 0) {
        std::string output;
        EXPECT_EQ(RunAsWin98("Registration.LeavesTheApprovedListAloneOnWindows98", &output), 0u) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }

    // Here as Windows 98.
    ASSERT_FALSE(IsNTPlatform());
    SetRegistryString(ApprovedPath, ClassIdText, "ZR marker");
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("ExtensionName=ZR Win98\r\n"));
    ASSERT_EQ(RegisterExtension(), 0);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::string(ClassKeyPath) + "\\InProcServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(OurHandlers(), std::vector<std::string>{"ZR Win98"});
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, ApprovedPath, ClassIdText), "ZR marker");
    ASSERT_EQ(UnregisterExtension(), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKeyPath));
    EXPECT_TRUE(OurHandlers().empty());
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, ApprovedPath, ClassIdText), "ZR marker");
}

namespace {

// Drives the sheet of the page that AddPages gave: each step runs on a timer tick with the
// active window (the sheet, or the error box over it) and the current page.
std::vector<std::function<void(HWND, HWND)>> SheetSteps;
size_t SheetStep = 0;
bool SheetBusy = false;

BOOL CALLBACK FindTopDialog(HWND window, LPARAM found)
{
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK DriveSheet(HWND, UINT, UINT_PTR, DWORD)
{
    if (SheetBusy || SheetStep >= SheetSteps.size())
        return;
    HWND active = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindTopDialog, reinterpret_cast<LPARAM>(&active));
    if (!active)
        return;
    SheetBusy = true;
    HWND page = reinterpret_cast<HWND>(SendMessageA(active, PSM_GETCURRENTPAGEHWND, 0, 0));
    SheetSteps[SheetStep++](active, page);
    SheetBusy = false;
}

std::string ItemTextOf(HWND window, int id)
{
    char text[256] = {};
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

// Opens the printer's properties as the shell does, through the registered extension of
// `sandbox`, and runs `steps` on the sheet (see DriveSheet), the last of which closes it. The
// number of pages the extension added; the sheet is shown only when there is one.
size_t ShowPropertySheet(const ModuleSandbox& sandbox, const std::string& printer,
                         std::vector<std::function<void(HWND, HWND)>> steps)
{
    ShellSide shell(sandbox);
    EXPECT_TRUE(shell.ok());
    if (!shell.ok())
        return 0;
    PrinterDataObject data(printer);
    std::vector<HPROPSHEETPAGE> pages;
    shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages));
    shell.ReleaseExtension();
    if (pages.size() != 1)
        return pages.size();
    SheetSteps = std::move(steps);
    SheetStep = 0;
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.pszCaption = printer.c_str();
    header.nPages = 1;
    header.phpage = pages.data();
    UINT_PTR timer = SetTimer(nullptr, 0, 30, DriveSheet);
    PropertySheetA(&header);
    KillTimer(nullptr, timer);
    EXPECT_EQ(SheetStep, SheetSteps.size()) << "the sheet closed before every step ran";
    EXPECT_EQ(shell.canUnload(), S_OK);
    return 1;
}

// Steps that type an ID and a user name into the page and press OK.
std::vector<std::function<void(HWND, HWND)>> TypeAndPressOK(const char* id, const char* user)
{
    return {[id, user](HWND, HWND page) {
                SetDlgItemTextA(page, 1006, id);
                SetDlgItemTextA(page, 1004, user);
            },
            [](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); }};
}

}  // namespace

TEST_F(PropertyPages, ThePageShowsAndStoresTheAccountFileEntries)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    char profile[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    std::string accountFile = std::string(profile) + "\\zrpage.ini";
    InstalledDriver driver(ModeDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab Printer", "ZR Tab");
    ASSERT_TRUE(driver.ok() && printer.ok());
    Apartment apartment;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    struct Row {
        const char* name;
        const char* settings;
        const char* section;
        const char* typedID;  // "0": an invalid entry first, then a valid one
    } rows[] = {
        {"own section", "", "ZR Tab Printer", "4242"},
        {"one ID for all printers", "AllPrinterIsSameID=1\r\n", "AllPrinter", "4242"},
        {"an invalid entry keeps the sheet open", "", "ZR Tab Printer", "0"},
    };
    for (const Row& row : rows) {
        ModuleSandbox sandbox(
            ModuleSandbox::WithStringFile(std::string("AccountFile=zrpage.ini\r\n") + row.settings +
                                          "[string]\r\nErrorMessage1=Check the entry\r\n",
                                          std::to_string(&row - rows)));
        WriteFileBytes(accountFile, std::string("[") + row.section + "]\r\nJobAccountID=77\r\nUserID=stored\r\n");
        ShellSide shell(sandbox);
        ASSERT_TRUE(shell.ok()) << row.name;
        PrinterDataObject data(printer.Name());
        std::vector<HPROPSHEETPAGE> pages;
        shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages));
        shell.ReleaseExtension();
        ASSERT_EQ(pages.size(), 1u) << row.name;

        std::string shownID, shownUser, error;
        SheetSteps = {[&](HWND, HWND page) {
                          shownID = ItemTextOf(page, 1006);
                          shownUser = ItemTextOf(page, 1004);
                          SetDlgItemTextA(page, 1006, row.typedID);
                          SetDlgItemTextA(page, 1004, "typed user");
                      },
                      [&](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); }};
        if (std::string(row.typedID) == "0")
            SheetSteps.insert(SheetSteps.end(),
                              {[&](HWND box, HWND) {
                                   error = ItemTextOf(box, 0xFFFF);
                                   PostMessageA(box, WM_COMMAND, IDOK, 0);
                               },
                               [&](HWND, HWND page) { SetDlgItemTextA(page, 1006, "99"); },
                               [&](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); }});
        SheetStep = 0;
        PROPSHEETHEADERA header = {};
        header.dwSize = sizeof header;
        header.pszCaption = "ZR Tab Printer";
        header.nPages = 1;
        header.phpage = pages.data();
        UINT_PTR timer = SetTimer(nullptr, 0, 30, DriveSheet);
        PropertySheetA(&header);
        KillTimer(nullptr, timer);

        EXPECT_EQ(shownID, "77") << row.name;
        EXPECT_EQ(shownUser, "stored") << row.name;
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, accountFile.c_str());
        char id[16] = {}, user[96] = {};
        GetPrivateProfileStringA(row.section, "JobAccountID", "", id, sizeof id, accountFile.c_str());
        GetPrivateProfileStringA(row.section, "UserID", "", user, sizeof user, accountFile.c_str());
        bool invalidFirst = std::string(row.typedID) == "0";
        EXPECT_STREQ(id, invalidFirst ? "99" : row.typedID) << row.name;
        EXPECT_STREQ(user, "typed user") << row.name;
        EXPECT_EQ(error, invalidFirst ? "Check the entry" : "") << row.name;
        EXPECT_EQ(shell.canUnload(), S_OK) << row.name;
    }
    DeleteFileA(accountFile.c_str());
}

TEST_F(PropertyPages, ASaveThatFailsIsReportedAndKeepsTheSheetOpen)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    InstalledDriver driver(ModeDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab Printer", "ZR Tab");
    ASSERT_TRUE(driver.ok() && printer.ok());
    PlantedProfile profile;
    Apartment apartment;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // A read-only file is no test here: the tests may run as a user whom nothing is read-only to.
    struct Row {
        const char* name;
        const char* accountFile;  // "AccountFile" of the string file
        bool directoryInItsPlace;
        const char* settings;
        std::string message;  // "" : the default text
    } rows[] = {
        {"a directory in the account file's place", "zrdir.ini", true, "", ""},
        {"an account file in a missing directory", "zz\\vtjobac.ini", false, "", ""},
        {"a text of the string file is shown as it is", "zz\\vtjobac.ini", false,
         "[string]\r\nAccountFileError=Not saved (100%s %n):\r\n", "Not saved (100%s %n):"},
    };
    for (const Row& row : rows) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(
            std::string("AccountFile=") + row.accountFile + "\r\n" + row.settings, std::to_string(&row - rows)));
        std::string path = profile.File(row.accountFile);
        if (row.directoryInItsPlace) {
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << row.name;
        }
        ShellSide shell(sandbox);
        ASSERT_TRUE(shell.ok()) << row.name;
        PrinterDataObject data(printer.Name());
        std::vector<HPROPSHEETPAGE> pages;
        shell.AddPages(&data, CollectPage, reinterpret_cast<LPARAM>(&pages));
        shell.ReleaseExtension();
        ASSERT_EQ(pages.size(), 1u) << row.name;

        std::string error, caption, idAfterError;
        bool sheetStayed = false;
        SheetSteps = {[&](HWND, HWND page) {
                          SetDlgItemTextA(page, 1006, "4242");
                          SetDlgItemTextA(page, 1004, "typed user");
                      },
                      [&](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); },
                      [&](HWND box, HWND) {
                          error = ItemTextOf(box, 0xFFFF);
                          char text[128] = {};
                          GetWindowTextA(box, text, sizeof text);
                          caption = text;
                          PostMessageA(box, WM_COMMAND, IDOK, 0);
                      },
                      [&](HWND sheet, HWND page) {
                          sheetStayed = page != nullptr;
                          idAfterError = ItemTextOf(page, 1006);
                          PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                      }};
        SheetStep = 0;
        PROPSHEETHEADERA header = {};
        header.dwSize = sizeof header;
        header.pszCaption = "ZR Tab Printer";
        header.nPages = 1;
        header.phpage = pages.data();
        UINT_PTR timer = SetTimer(nullptr, 0, 30, DriveSheet);
        PropertySheetA(&header);
        KillTimer(nullptr, timer);

        std::string text = row.message.empty() ? "The job account could not be saved to this file:" : row.message;
        EXPECT_EQ(error, text + "\n" + path) << row.name;
        EXPECT_EQ(caption, DefaultName) << row.name;
        EXPECT_TRUE(sheetStayed) << row.name;
        EXPECT_EQ(idAfterError, "4242") << row.name << ": the typed entry is still there";
        EXPECT_EQ(GetFileAttributesA(path.c_str()),
                  row.directoryInItsPlace ? FILE_ATTRIBUTE_DIRECTORY : INVALID_FILE_ATTRIBUTES)
            << row.name << ": nothing was written";
        EXPECT_EQ(shell.canUnload(), S_OK) << row.name;
        RemoveDirectoryA(path.c_str());
    }
}

namespace {

// A Tab-mode printer whose properties a test opens, with what a shell thread has for a sheet.
struct TabPrinterOnASheet {
    InstalledDriver driver{ModeDriver("ZR Tab", "vtjobac1.dat")};
    InstalledPrinter printer{"ZR Tab Printer", "ZR Tab"};
    Apartment apartment;

    TabPrinterOnASheet()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    }
    bool ok() const { return driver.ok() && printer.ok(); }
};

// Stand-in for the module's SetKernelObjectSecurity that keeps, read with the security calls, the
// access list the module sets (Wine keeps a file's list only as far as its mode bits tell), then
// sets it.
namespace set_acl {

struct Entry {
    std::string sid;
    DWORD mask;
    BYTE flags;
    bool operator==(const Entry& other) const
    {
        return sid == other.sid && mask == other.mask && flags == other.flags;
    }
};
std::vector<Entry> entries;
bool protectedList = false;
int calls = 0;
decltype(&SetKernelObjectSecurity) real;

BOOL WINAPI Record(HANDLE object, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor)
{
    ++calls;
    entries.clear();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    if ((what & DACL_SECURITY_INFORMATION) && GetSecurityDescriptorControl(descriptor, &control, &revision) &&
        GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present && acl) {
        protectedList = (what & PROTECTED_DACL_SECURITY_INFORMATION) && (control & SE_DACL_PROTECTED);
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            void* ace = nullptr;
            char* text = nullptr;
            if (GetAce(acl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                ConvertSidToStringSidA(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &text)) {
                entries.push_back({text, static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask, static_cast<ACE_HEADER*>(ace)->AceFlags});
                LocalFree(text);
            }
        }
    }
    return real(object, what, descriptor);
}

}  // namespace set_acl

// A list that opens a file to everyone, as an earlier version left each account file.
void OpenToEveryone(const std::string& path)
{
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;WD)", SDDL_REVISION_1, &everyone,
                                                                     nullptr));
    EXPECT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
}

std::string SharedAccountFile(const std::string& name)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

}  // namespace

// The account file in a user's profile holds that user's ID, password and name: after the page
// stored them it is the user's, the system's and the administrators' alone, also where an earlier
// version had opened it to everyone. The shared file that users without a profile here fall back
// to stays open to everyone, who all write it.
TEST_F(PropertyPages, AProfilesAccountFileIsKeptToItsUserAndTheSharedOneOpenToEveryone)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    TabPrinterOnASheet tab;
    ASSERT_TRUE(tab.ok());
    const std::string user = ProcessUserSidText();
    using Entries = std::vector<set_acl::Entry>;
    struct Row {
        const char* name;
        bool hasProfile;
        bool openedBefore;  // to everyone, as an earlier version left it
        Entries expected;
        bool isProtected;
    } rows[] = {
        {"a file in the user's profile, opened to everyone before", true, true,
         {{user, FILE_ALL_ACCESS, 0}, {"S-1-5-18", FILE_ALL_ACCESS, 0}, {"S-1-5-32-544", FILE_ALL_ACCESS, 0}}, true},
        {"the shared file of users without a profile", false, false,
         {{"S-1-1-0", GENERIC_ALL, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE}, {"S-1-1-0", GENERIC_ALL, CONTAINER_INHERIT_ACE}},
         false},
    };
    for (const Row& row : rows) {
        PlantedProfile profile(user, row.hasProfile);
        const std::string path = row.hasProfile ? profile.File("zracl.ini") : SharedAccountFile("zracl.ini");
        WriteFileBytes(path, "[ZR Tab Printer]\r\nJobAccountID=77\r\n");
        if (row.openedBefore)
            OpenToEveryone(path);
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile("AccountFile=zracl.ini\r\n", std::to_string(&row - rows)));
        set_acl::calls = 0;
        set_acl::entries.clear();
        ImportHook watch(sandbox.Handle(), "advapi32.dll", "SetKernelObjectSecurity",
                         reinterpret_cast<void*>(&set_acl::Record));
        ASSERT_TRUE(watch.ok()) << row.name << ": the module sets no access list through the file it opened";
        set_acl::real = reinterpret_cast<decltype(&SetKernelObjectSecurity)>(watch.original());
        ASSERT_EQ(ShowPropertySheet(sandbox, tab.printer.Name(), TypeAndPressOK("4242", "typed user")), 1u) << row.name;

        EXPECT_EQ(ProfileValue(path, "ZR Tab Printer", "JobAccountID"), "4242") << row.name;
        EXPECT_EQ(set_acl::calls, 1) << row.name;
        EXPECT_TRUE(set_acl::entries == row.expected) << row.name;
        EXPECT_EQ(set_acl::protectedList, row.isProtected) << row.name << ": the folder's entries kept off it";
        DeleteFileA(path.c_str());
    }
}

// The page belongs to the user who opens it: while the printer spools another user's job it shows
// and stores that user's own entries, and opening it writes nobody else's file (the certificate ID
// mode copies the printer's ID into the shared section as it opens).
TEST_F(PropertyPages, ThePageIsTheOwnOfTheUserWhoOpensItWhoeverElsesJobSpools)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    TabPrinterOnASheet tab;
    ASSERT_TRUE(tab.ok());
    PlantedProfile profile;
    // The other user has no profile here: a job's resolution would take the shared file.
    const std::string theirs = SharedAccountFile("zrowner.ini");
    const std::string theirText = "[ZR Tab Printer]\r\nJobAccountID=66\r\nUserID=theirs\r\n";
    char caller[UNLEN + 1] = {};
    DWORD callerSize = sizeof caller;
    ASSERT_TRUE(GetUserNameA(caller, &callerSize));
    struct Row {
        const char* name;
        const char* settings;
        bool types;  // type and press OK; else cancel
        std::string user;  // shown
    } rows[] = {
        {"Tab mode", "", true, "mine"},
        // The printer's ID copied to the shared section, whose user name is the caller's.
        {"certificate ID mode, opened and closed", "GetVexaIDMode=1\r\nAllPrinterIsSameID=1\r\n", false, caller},
    };
    for (const Row& row : rows) {
        WriteFileBytes(profile.File("zrowner.ini"), "[ZR Tab Printer]\r\nJobAccountID=55\r\nUserID=mine\r\n");
        WriteFileBytes(theirs, theirText);
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(std::string("AccountFile=zrowner.ini\r\n") + row.settings,
                                                            std::to_string(&row - rows)));
        JobStandIn job(sandbox.Handle(), "zr other user", "", JOB_STATUS_SPOOLING);
        ASSERT_TRUE(job.ok()) << row.name;
        std::string shownID, shownUser;
        std::vector<std::function<void(HWND, HWND)>> steps = {[&](HWND, HWND page) {
            shownID = ItemTextOf(page, 1006);
            shownUser = ItemTextOf(page, 1004);
        }};
        for (auto& step : row.types ? TypeAndPressOK("4242", "typed user")
                                    : std::vector<std::function<void(HWND, HWND)>>{[](HWND sheet, HWND) {
                                          PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                                      }})
            steps.push_back(step);
        ASSERT_EQ(ShowPropertySheet(sandbox, tab.printer.Name(), steps), 1u) << row.name;

        EXPECT_EQ(shownID, "55") << row.name;
        EXPECT_EQ(shownUser, row.user) << row.name;
        if (row.types) {
            EXPECT_EQ(ProfileValue(profile.File("zrowner.ini"), "ZR Tab Printer", "JobAccountID"), "4242") << row.name;
            EXPECT_EQ(ProfileValue(profile.File("zrowner.ini"), "ZR Tab Printer", "UserID"), "typed user") << row.name;
        }
        EXPECT_EQ(ReadFileBytes(theirs), theirText) << row.name << ": the other user's file is untouched";
    }
    DeleteFileA(theirs.c_str());
}

// A user's account file that is a second name of another file (a hard link to a file only the
// administrators may write, say) is never written through: the save is refused and said so.
TEST_F(PropertyPages, AnAccountFileWithASecondNameIsNeverWrittenThrough)
{
    ASSERT_NE(GetEnvironmentVariableA("DISPLAY", nullptr, 0), 0u) << "needs an X display";
    TabPrinterOnASheet tab;
    ASSERT_TRUE(tab.ok());
    PlantedProfile profile;
    const std::string target = FreshTestDirectory("elsewhere") + "protected.ini";
    const std::string text = "[ZR Tab Printer]\r\nJobAccountID=77\r\n";
    WriteFileBytes(target, text);
    ASSERT_TRUE(CreateHardLinkA(profile.File().c_str(), target.c_str(), nullptr));
    ModuleSandbox sandbox;
    std::string error;
    std::vector<std::function<void(HWND, HWND)>> steps = TypeAndPressOK("4242", "typed user");
    steps.push_back([&](HWND box, HWND) {
        error = ItemTextOf(box, 0xFFFF);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    steps.push_back([](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); });
    ASSERT_EQ(ShowPropertySheet(sandbox, tab.printer.Name(), steps), 1u);
    EXPECT_EQ(error, "The job account could not be saved to this file:\n" + profile.File());
    EXPECT_EQ(ReadFileBytes(target), text);
}
