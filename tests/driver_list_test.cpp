// The inventory of installed drivers, its display names and its combo box.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>

#include "iat_hook.h"
#include "idlist/driver_list.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

const char Cap[] = "TVLIST01.CAP";

std::string ListCapability()
{
    return "[Capability]\r\nZR Tab=M\r\nZR Hide=M\r\nZR Popup95=M\r\nZR NT4=M\r\nZR Wide=M\r\nZR Twin=M\r\n"
           "ZR Cancelled=M\r\n[M]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n";
}

DriverSpec Supporting(const std::string& name, const char* dataFile, const char* environment = EnvNative,
                      DWORD version = 3)
{
    DriverSpec spec{name, {Cap, dataFile}, {{Cap, ListCapability()}}};
    spec.environment = environment;
    spec.version = version;
    return spec;
}

struct ComboWindow {
    HWND parent = nullptr;
    HWND combo = nullptr;
    ComboWindow()
    {
        parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
        combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0, 300, 200, parent,
                                nullptr, nullptr, nullptr);
    }
    ~ComboWindow() { DestroyWindow(parent); }

    // Item text -> item data.
    std::map<std::string, LRESULT> Items() const
    {
        std::map<std::string, LRESULT> items;
        LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[300] = {};
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items[text] = SendMessageA(combo, CB_GETITEMDATA, i, 0);
        }
        return items;
    }
};

// Items naming test drivers only: the prefix may hold others.
std::map<std::string, LRESULT> TestItems(const ComboWindow& window)
{
    std::map<std::string, LRESULT> items;
    for (const auto& item : window.Items())
        if (item.first.rfind("ZR ", 0) == 0)
            items.insert(item);
    return items;
}

std::array<DWORD, 4> CountsOf(const DriverList& list)
{
    return {list.ModeCounts[0], list.ModeCounts[1], list.ModeCounts[2], list.ModeCounts[3]};
}

// Wine stores a version-2 (NT 4.0 kernel-mode) driver as version 3; this stand-in makes the
// enumeration report "ZR NT4" as version 2 the way Windows 2000 and later would.
decltype(&EnumPrinterDriversA) realEnumDrivers;

BOOL WINAPI EnumDriversAsNT4(char* server, char* environment, DWORD level, BYTE* buffer, DWORD size, DWORD* needed,
                             DWORD* returned)
{
    BOOL ok = realEnumDrivers(server, environment, level, buffer, size, needed, returned);
    if (ok && level == 3 && buffer)
        for (DWORD i = 0; i < *returned; ++i) {
            auto* d = reinterpret_cast<DRIVER_INFO_3A*>(buffer) + i;
            if (d->pName && strcmp(d->pName, "ZR NT4") == 0)
                d->cVersion = 2;
        }
    return ok;
}

// What differs between the builds: which drivers are of the other width, and how they are named.
const bool X64Build = sizeof(void*) == 8;
const char* const OtherModPath = X64Build ? "ModPath32" : "ModPath64";
const char* const OtherSuffixKey = X64Build ? "X86" : "X64";
const std::string OtherSuffix = X64Build ? " - x86" : " - x64";

struct NT4DriverStandIn {
    ImportHook hook{nullptr, "winspool.drv", "EnumPrinterDriversA", reinterpret_cast<void*>(&EnumDriversAsNT4)};
    NT4DriverStandIn()
    {
        EXPECT_TRUE(hook.ok());
        realEnumDrivers = reinterpret_cast<decltype(&EnumPrinterDriversA)>(hook.original());
    }
};

}  // namespace

TEST(BuildDriverList, EntriesModesAndCounts)
{
    DriverList before = {};
    BuildDriverList(nullptr, &before);
    auto baseline = CountsOf(before);
    ReleaseDriverList(&before);

    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledDriver hide(Supporting("ZR Hide", "vtjobac4.dat"));
    InstalledDriver plain(DriverSpec{"ZR Plain", {"vtjobac1.dat"}});
    // Declared with a flag, then cancelled by a later capability file.
    const char cancelling[] = "TVLIST02.CAP";
    const char cancel[] = "[Capability]\r\nZR Cancelled=Off\r\n[Off]\r\nJobAccount=0\r\n";
    InstalledDriver cancelled(DriverSpec{"ZR Cancelled", {Cap, cancelling, "vtjobac1.dat"},
                                         {{Cap, ListCapability()}, {cancelling, cancel}}});

    DriverList list = {};
    EXPECT_EQ(BuildDriverList(nullptr, &list), 1);
    ASSERT_NE(list.Drivers, nullptr);
    std::map<std::string, std::pair<DWORD, DWORD>> seen;
    for (DWORD i = 0; i < DriverEntryCount(list); ++i) {
        const DRIVER_INFO_3A* d = DriverEntry(list, i);
        ASSERT_NE(d, nullptr);
        seen[d->pName] = {list.Modes[i], list.DriverFlags[i]};
    }
    EXPECT_EQ(seen["ZR Tab"], std::make_pair(1ul, 1ul));
    EXPECT_EQ(seen["ZR Hide"], std::make_pair(3ul, 1ul));
    EXPECT_EQ(seen["ZR Plain"], std::make_pair(0ul, 0ul));
    EXPECT_EQ(seen["ZR Cancelled"], std::make_pair(0ul, 0ul)) << "a driver without support has no flag";
    auto counts = CountsOf(list);
    EXPECT_EQ(counts[0] - baseline[0], 2u);
    EXPECT_EQ(counts[1] - baseline[1], 1u);
    EXPECT_EQ(counts[2] - baseline[2], 0u);
    EXPECT_EQ(counts[3] - baseline[3], 1u);
    EXPECT_EQ(DriverEntry(list, DriverEntryCount(list)), nullptr);

    // A reused record counts afresh.
    EXPECT_EQ(ReleaseDriverList(&list), 1);
    EXPECT_EQ(list.Drivers, nullptr);
    EXPECT_EQ(list.Modes, nullptr);
    EXPECT_EQ(list.DriverFlags, nullptr);
    EXPECT_EQ(DriverEntryCount(list), 0u);
    EXPECT_EQ(list.NtBytes + list.Win40Bytes, 0u);
    EXPECT_EQ(CountsOf(list), counts) << "release leaves the counts";
    EXPECT_EQ(BuildDriverList(nullptr, &list), 1);
    EXPECT_EQ(CountsOf(list), counts);
    ReleaseDriverList(&list);
}

TEST(BuildDriverList, DisplayNamesCarryVersionAndWidthSuffixes)
{
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledDriver win9x(Supporting("ZR Popup95", "vtjobac2.dat", EnvWin40, 0));
    InstalledDriver nt4(Supporting("ZR NT4", "vtjobac1.dat"));
    NT4DriverStandIn nt4Version;
    InstalledDriver wide(Supporting("ZR Wide", "vtjobac1.dat", EnvOther));
    InstalledDriver plain(DriverSpec{"ZR Plain", {"vtjobac1.dat"}});

    // For the x64 build a Windows 4.0 driver is of the other width as well.
    const std::string longText(40, 'w');
    const std::string cutText = " " + std::string(30, 'w');
    struct Row {
        const char* name;
        std::string stringFile;
        bool otherModPath;
        std::set<std::string> expected;
    } rows[] = {
        {"other build unknown", "", false,
         X64Build ? std::set<std::string>{"ZR Tab", "ZR NT4 [WindowsNT4.0/2000]"}
                  : std::set<std::string>{"ZR Tab", "ZR Popup95 [Windows95/98/Me]", "ZR NT4 [WindowsNT4.0/2000]"}},
        {"other build known", "", true,
         {"ZR Tab", "ZR Popup95 [Windows95/98/Me]" + (X64Build ? OtherSuffix : ""), "ZR NT4 [WindowsNT4.0/2000]",
          "ZR Wide" + OtherSuffix}},
        {"texts from the string file, cut to 30",
         "[string]\r\n" + std::string(OtherSuffixKey) + "=" + longText + "\r\nWin9x=(old)\r\nWin2000=\r\n", true,
         {"ZR Tab", "ZR Popup95 (old)" + (X64Build ? cutText : ""), "ZR NT4 ", "ZR Wide" + cutText}},
    };
    for (const Row& row : rows) {
        ModuleSandbox::Options options;
        options.stringFile = row.stringFile;
        options.directoryTag = std::to_string(&row - rows);
        ModuleSandbox sandbox(options);
        if (row.otherModPath) {
            SetRegistryString(sandbox.RegistryRoot(), OtherModPath, "C:\\otherbuild");
            sandbox.Reload();
        }
        DriverList counted = {};
        BuildDriverList(nullptr, &counted);
        ComboWindow window;
        DriverList list = {};
        EXPECT_EQ(BuildDriverList(window.combo, &list), 1) << row.name;
        auto items = TestItems(window);
        std::set<std::string> names;
        for (const auto& item : items) {
            names.insert(item.first);
            const DRIVER_INFO_3A* d = DriverEntry(list, static_cast<DWORD>(item.second));
            ASSERT_NE(d, nullptr) << item.first;
            EXPECT_EQ(item.first.rfind(d->pName, 0), 0u) << "item data names the entry of " << item.first;
        }
        EXPECT_EQ(names, row.expected) << row.name;
        // A skipped driver is not counted; all else is the same whether or not a combo is given.
        EXPECT_EQ(CountsOf(list), CountsOf(counted)) << row.name;
        ReleaseDriverList(&list);
        ReleaseDriverList(&counted);
    }
}

TEST(BuildDriverList, SkippedOtherWidthDriverIsNotCounted)
{
    DriverList before = {};
    BuildDriverList(nullptr, &before);
    auto baseline = CountsOf(before);
    ReleaseDriverList(&before);

    InstalledDriver wide(Supporting("ZR Wide", "vtjobac1.dat", EnvOther));
    DriverList list = {};
    BuildDriverList(nullptr, &list);
    EXPECT_EQ(CountsOf(list), baseline) << OtherModPath << " is empty in the default state";
    ReleaseDriverList(&list);
}

TEST(BuildDriverList, SameNameInTwoEnvironmentsGivesTwoItems)
{
    ModuleSandbox sandbox;
    SetRegistryString(sandbox.RegistryRoot(), OtherModPath, "C:\\otherbuild");
    sandbox.Reload();
    InstalledDriver native(Supporting("ZR Twin", "vtjobac1.dat"));
    InstalledDriver other(Supporting("ZR Twin", "vtjobac1.dat", EnvOther));
    ComboWindow window;
    DriverList list = {};
    BuildDriverList(window.combo, &list);
    auto items = TestItems(window);
    const std::string otherName = "ZR Twin" + OtherSuffix;
    ASSERT_EQ(items.count("ZR Twin"), 1u);
    ASSERT_EQ(items.count(otherName), 1u);
    EXPECT_NE(items["ZR Twin"], items[otherName]);
    EXPECT_STREQ(DriverEntry(list, static_cast<DWORD>(items[otherName]))->pEnvironment, EnvOther);
    ReleaseDriverList(&list);
}

namespace {

std::string messageText;
std::string messageCaption;
bool messageOwned = true;

BOOL CALLBACK CloseMessageBox(HWND window, LPARAM)
{
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    char text[256] = {}, caption[256] = {};
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    GetWindowTextA(window, caption, sizeof caption);
    messageText = text;
    messageCaption = caption;
    messageOwned = GetWindow(window, GW_OWNER) != nullptr;
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), CloseMessageBox, 0);
}

}  // namespace

TEST(BuildDriverList, NothingListedShowsTheMessageOnlyWithACombo)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("[string]\r\nAppName=Caption Here\r\nNoPrinterMessage=None %s %n\r\n"));
    InstalledDriver plain(DriverSpec{"ZR Plain", {"vtjobac1.dat"}});

    DriverList list = {};
    EXPECT_EQ(BuildDriverList(nullptr, &list), 0) << "without a combo: a silent 0";
    ReleaseDriverList(&list);

    ComboWindow window;
    SendMessageA(window.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("kept"));
    messageText.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, OnTimer);
    EXPECT_EQ(BuildDriverList(window.combo, &list), 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(messageText, "None %s %n") << "the text is shown as it stands";
    EXPECT_EQ(messageCaption, "Caption Here");
    EXPECT_FALSE(messageOwned);
    ReleaseDriverList(&list);
}

TEST(ReleaseDriverList, OnAZeroRecord)
{
    DriverList list = {};
    list.ModeCounts[2] = 7;
    EXPECT_EQ(ReleaseDriverList(&list), 1);
    EXPECT_EQ(list.ModeCounts[2], 7u);
}
