// Test fixtures: a private copy of the module with its own string file and registry key, files,
// and registry values.
#pragma once

#include <windows.h>

#include <string>

#include "settings/module_state.h"

// Directory of the running test program, ending in a backslash.
std::string ProgramDirectory();

// A fresh empty directory for the current test, ending in a backslash.
std::string FreshTestDirectory(const std::string& tag = "");
// Removes what earlier runs left of the test directories.
void RemoveTestDirectories();

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& directory);

// The registry key every sandbox of this test program gets under HKEY_LOCAL_MACHINE.
std::string SandboxRegistryRoot();

void SetRegistryDword(const std::string& subkey, const char* name, DWORD value);
void SetRegistryString(const std::string& subkey, const char* name, const std::string& value);
void DeleteRegistryTree(const std::string& subkey);

// A copy of zrlogext.dll in a directory of its own (a new one for every sandbox), loaded, whose module state is installed as
// `Module` for the code under test while the sandbox lives. The string file holds "RegRoot" set to
// a key of the test's own unless the given contents name one.
class ModuleSandbox {
public:
    struct Options {
        std::string stringFile;                    // contents; empty: no string file at all
        std::string stringFileName = "zrjobacs.str";
        bool addRegRoot = true;                    // adds [common] RegRoot=<test key>
        std::string directoryTag;
    };

    ModuleSandbox() : ModuleSandbox(Options{}) {}
    // A string file whose lines follow the [common] RegRoot line (so they start in "common").
    static Options WithStringFile(const std::string& contents, const std::string& tag = "")
    {
        Options options;
        options.stringFile = contents;
        options.directoryTag = tag;
        return options;
    }
    explicit ModuleSandbox(const Options& options);
    ~ModuleSandbox();
    ModuleSandbox(const ModuleSandbox&) = delete;
    ModuleSandbox& operator=(const ModuleSandbox&) = delete;

    const std::string& Directory() const { return directory_; }
    const std::string& RegistryRoot() const { return registryRoot_; }
    HMODULE Handle() const { return module_; }
    // Reloads the module state, as a process that loads the module afresh would see it.
    void Reload();

private:
    std::string directory_;
    std::string registryRoot_;
    HMODULE module_ = nullptr;
    ModuleState saved_;
};
