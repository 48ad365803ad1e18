#include "admin_fixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <commdlg.h>

#include "res/resource.h"

namespace {

const char Cap[] = "TVADMIN1.CAP";

// "ZR Tab" allows dialogs on Windows 6.0 and later (flag bit 0); the others do not.
std::string Capabilities()
{
    return "[Capability]\r\nZR Tab=Allow\r\nZR Popup=Deny\r\nZR Hide=Deny\r\n"
           "[Allow]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n[Deny]\r\nJobAccount=1\r\n";
}

// The open-file dialog's file name box.
const int FileNameBox = 0x47c;

}  // namespace

DriverSpec Supporting(const std::string& name, const char* dataFile)
{
    return DriverSpec{name, {Cap, dataFile}, {{Cap, Capabilities()}}};
}

const char Captions[] = "[string]\r\nAppName=Mode Admin\r\nDriver=Printer driver\r\nTab=Tab mode\r\n"
                        "Popup=Popup mode\r\nHide=Hide mode\r\nNoSupport=No support\r\nChange=Apply it\r\n"
                        "File=Datei\r\nHideMode=Versteckt\r\nHelp=Hilfe\r\nAllMode=Every driver\r\n"
                        "SuccessMessage=Done it\r\nNoAdministrator=Admins only\r\n"
                        "FailuredMessage=Try again later\r\nSharedPrinterMessage=Shared, go on?\r\n"
                        "SetupAnotherClientTitle=Other client\r\nAnotherModeMessage=Elsewhere\r\n"
                        "FailedPath=No settings there\r\nJobAccountID_C=Account\r\n";

AdminModule::AdminModule(const std::string& common, const std::string& strings)
    : sandbox(ModuleSandbox::WithStringFile(common + Captions + strings))
{
    open = reinterpret_cast<EntryFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), "ChangeJobAccountMode")));
    EXPECT_NE(open, nullptr);
}

INT_PTR AdminModule::Run(std::vector<Step> steps, bool* stuck)
{
    return RunEntry("ChangeJobAccountMode", std::move(steps), stuck);
}

INT_PTR AdminModule::RunEntry(const char* entry, std::vector<Step> steps, bool* stuck)
{
    auto function = reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), entry)));
    EXPECT_NE(function, nullptr) << entry;
    if (!function)
        return -3;
    char none[] = "";
    return RunScript([function, &none]() { return function(nullptr, nullptr, none, SW_SHOW); }, std::move(steps),
                     stuck);
}

Step FailsAloneWithoutMemory(HeapFailures* heap, int control, UINT message, WPARAM wParam, LPARAM lParam)
{
    return [=](HWND dialog) {
        const int refusedBefore = heap->Failed();
        bool escaped = false;
        heap->RefuseFrom();
        const LRESULT answer =
            control ? WindowProcedureAnswer(GetDlgItem(dialog, control), message, wParam, lParam, &escaped)
                    : DialogProcedureAnswer(dialog, message, wParam, lParam, &escaped);
        heap->Disarm();
        EXPECT_FALSE(escaped) << "message " << message << ": an exception left the procedure";
        EXPECT_EQ(answer, 0) << "message " << message;
        EXPECT_GT(heap->Failed(), refusedBefore) << "message " << message << " needed no memory";
        EXPECT_TRUE(IsWindowVisible(dialog)) << "message " << message;
    };
}

Step CloseByMenu() { return Press(IDOK); }

std::string ProfileValue(const std::string& file, const char* section, const char* key)
{
    char value[512] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
    return value;
}

SettingsFiles::SettingsFiles(const AdminModule& admin, const Drivers& drivers, const std::string& masterText)
    : master(admin.sandbox.Directory() + "vtjobac4.dat"), hideCopy(drivers.hide.Directory() + "vtjobac4.dat")
{
    WriteFileBytes(master, masterText);
    WriteFileBytes(hideCopy, "[JobAccount]\r\nMode=7\r\n");
}

bool SettingsFiles::Propagated() const { return ReadFileBytes(hideCopy) == ReadFileBytes(master); }

std::string TestFolder(const std::string& tag)
{
    std::string directory = FreshTestDirectory(tag);
    return directory.substr(0, directory.size() - 1);
}

FolderChoices* FolderChoices::current_ = nullptr;

FolderChoices::FolderChoices(HMODULE module, std::vector<std::string> folders)
    : folders_(std::move(folders)),
      hook_(module, "shell32.dll", "SHBrowseForFolderA", reinterpret_cast<void*>(&FolderChoices::Choose))
{
    EXPECT_TRUE(hook_.ok());
    current_ = this;
}

FolderChoices::~FolderChoices()
{
    EXPECT_EQ(next_, folders_.size()) << "every prepared folder is asked for";
    current_ = nullptr;
}

LPITEMIDLIST WINAPI FolderChoices::Choose(LPBROWSEINFOA info)
{
    FolderChoices* self = current_;
    self->starts_.push_back(info->lParam ? reinterpret_cast<const char*>(info->lParam) : "");
    if (self->next_ >= self->folders_.size())
        return nullptr;
    const std::string& folder = self->folders_[self->next_++];
    return folder.empty() ? nullptr : ILCreateFromPathA(folder.c_str());
}

std::vector<std::string> ShownRows(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_ID_LIST);
    std::vector<std::string> rows;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string line;
        for (int column = 0; column < 3; ++column) {
            char text[256] = {};
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            line += (column ? "/" : "") + std::string(text);
        }
        rows.push_back(line);
    }
    return rows;
}

void ClickColumn(HWND dialog, int column)
{
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = GetDlgItem(dialog, IDC_ID_LIST);
    click.hdr.idFrom = IDC_ID_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(dialog, WM_NOTIFY, IDC_ID_LIST, reinterpret_cast<LPARAM>(&click));
}

std::vector<Step> ChooseFile(const std::string& path)
{
    // The chooser opens a while after the click that asks for it.
    return {Inspect([path](HWND chooser) {
                if (!GetDlgItem(chooser, FileNameBox) && !FindWindowExA(chooser, nullptr, "#32770", nullptr))
                    return RepeatThisStep("the open-file dialog");
                SendMessageA(chooser, CDM_SETCONTROLTEXT, FileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
            }),
            Press(IDOK)};
}
