#include "sandbox.h"

#include <gtest/gtest.h>

#include <vector>

std::string ProgramDirectory()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.rfind('\\') + 1);
}

namespace {

std::string CurrentTestName()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?')
            c = '_';
    return name;
}

}  // namespace

void RemoveTree(const std::string& directory)
{
    std::string dir = directory;
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

const char TestRoot[] = "C:\\zrtest\\";

void RemoveTestDirectories() { RemoveTree(TestRoot); }

std::string FreshTestDirectory(const std::string& tag)
{
    std::string base = TestRoot;
    CreateDirectoryA(base.c_str(), nullptr);
    std::string dir = base + CurrentTestName() + (tag.empty() ? "" : "." + tag) + "\\";
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size()) << path;
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string SandboxRegistryRoot() { return "SOFTWARE\\ZrlogextTest\\" + CurrentTestName(); }

void SetRegistryDword(const std::string& subkey, const char* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void SetRegistryString(const std::string& subkey, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void DeleteRegistryTree(const std::string& subkey)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, subkey.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey.c_str());
}

ModuleSandbox::ModuleSandbox(const Options& options) : saved_(Module)
{
    // Every sandbox gets a path of its own, so that it loads a module of its own even while an
    // earlier sandbox's module is still loaded.
    static int sequence = 0;
    std::string tag = options.directoryTag.empty() ? "" : options.directoryTag + ".";
    directory_ = FreshTestDirectory(tag + "module" + std::to_string(++sequence));
    registryRoot_ = SandboxRegistryRoot();
    DeleteRegistryTree(registryRoot_);

    std::string dll = directory_ + "zrlogext.dll";
    EXPECT_TRUE(CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), dll.c_str(), FALSE));
    if (!options.stringFile.empty() || options.addRegRoot) {
        std::string contents = options.stringFile;
        if (options.addRegRoot)
            contents = "[common]\r\nRegRoot=" + registryRoot_ + "\r\n" + contents;
        WriteFileBytes(directory_ + options.stringFileName, contents);
    }
    module_ = LoadLibraryA(dll.c_str());
    EXPECT_NE(module_, nullptr) << dll;
    Reload();
}

void ModuleSandbox::Reload()
{
    if (module_)
        LoadModuleSettingsOf(module_);
}

ModuleSandbox::~ModuleSandbox()
{
    Module = saved_;
    if (module_)
        FreeLibrary(module_);
    DeleteRegistryTree(registryRoot_);
    RemoveTree(directory_);
}
