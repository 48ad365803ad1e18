#include "settings/module_state.h"

#include <cstring>
#include <string>

#include "settings/helpers.h"
#include "settings/profile.h"
#include "settings/profile_text.h"
#include "settings/settings_file.h"
#include "settings/registry.h"
#include "settings/text.h"

ModuleState Module;

namespace {

const char DefaultRegistryRoot[] = "SOFTWARE\\Tavrodata\\TAVRO Jobtally Client";

bool FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The string file as read once at load: each call of the profile functions opens and checks the
// file again, and the keys read at load cost a process more than the rest of loading the module.
// A key whose line is anything but plain in the text is left to the profile functions.
class StringFileText {
public:
    explicit StringFileText(const char* file) : file_(file)
    {
        // A string file is a few kilobytes; anything far larger is left to the profile functions
        // rather than held whole in memory while the process loads the module.
        const size_t MostBytes = 1u << 20;
        try {
            read_ = file && file[0] && ReadWholeFile(file, &text_, MostBytes);
        } catch (...) {
            read_ = false;
        }
    }

    // Reads `key` of `section` as the profile functions would, into a buffer of `size` bytes.
    template <size_t N>
    void Read(const char* section, const char* key, const char* fallback, char (&buffer)[N]) const
    {
        std::string value;
        ProfileAnswer answer = ProfileAnswer::Unsure;
        try {
            if (read_)
                answer = FindPlainProfileValue(text_, section, key, &value);
        } catch (...) {
            answer = ProfileAnswer::Unsure;
        }
        if (answer == ProfileAnswer::Unsure)
            ReadProfileText(file_, section, key, fallback, buffer);
        else
            CopyCut(buffer, answer == ProfileAnswer::Value ? value.c_str() : fallback);
    }

private:
    const char* file_;
    std::string text_;
    bool read_ = false;
};

void SplitModulePath(HINSTANCE instance, ModuleState* state)
{
    char path[PathChars] = {};
    DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    if (length >= sizeof path)
        length = sizeof path - 1;
    path[length] = '\0';
    char* slash = strrchr(path, '\\');
    if (!slash) {
        CopyCut(state->ModuleFileName, path);
        state->ModuleDirectory[0] = '\0';
        return;
    }
    CopyCut(state->ModuleFileName, slash + 1);
    slash[1] = '\0';
    CopyCut(state->ModuleDirectory, path);
}

// A name that does not fit beside the module leaves the path empty: every key then reads as its
// default, as with a missing string file.
void ChooseStringFile(HINSTANCE instance, ModuleState* state)
{
    char primary[DataFileChars] = {};
    char alternate[DataFileChars] = {};
    LoadStringA(instance, IDS_STRING_FILE, primary, sizeof primary);
    LoadStringA(instance, IDS_STRING_FILE_ALT, alternate, sizeof alternate);

    if (ComposePath(state->StringFilePath, {state->ModuleDirectory, primary}) &&
        FileExists(state->StringFilePath))
        return;
    ComposePath(state->StringFilePath, {state->ModuleDirectory, alternate});
}

// The help directory ("HelpPath", one byte wider than a path so that a longer value cannot pass
// for one) and the two module paths from the registry key. False when there is no "HelpPath".
bool ReadRegistryPaths(ModuleState* state, char (&helpPath)[PathChars + 1])
{
    helpPath[0] = '\0';
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, state->RegistryRoot, KEY_READ) != ERROR_SUCCESS) {
        state->ModPath64[0] = '\0';
        state->ModPath32[0] = '\0';
        return false;
    }
    bool found = key.ReadText("HelpPath", helpPath, sizeof helpPath);
    // A missing path of this build's own width is the module's own directory. The other width's
    // build stays unknown: a module of this width copied to drivers of the other one would never load.
    const bool x64 = Is64BitBuild();
    char* own = x64 ? state->ModPath64 : state->ModPath32;
    char* other = x64 ? state->ModPath32 : state->ModPath64;
    if (!key.ReadText(x64 ? "ModPath64" : "ModPath32", own, PathChars))
        CopyCut(own, PathChars, state->ModuleDirectory);
    if (!key.ReadText(x64 ? "ModPath32" : "ModPath64", other, PathChars))
        other[0] = '\0';
    return found;
}

}  // namespace

void LoadModuleState(HINSTANCE instance, ModuleState* state)
{
    *state = ModuleState{};
    state->ModuleInstance = instance;
    SplitModulePath(instance, state);
    ChooseStringFile(instance, state);

    const char* file = state->StringFilePath;
    const StringFileText strings(file);
    strings.Read("common", "RegRoot", DefaultRegistryRoot, state->RegistryRoot);

    char helpPath[PathChars + 1] = {};
    bool hasHelpPath = ReadRegistryPaths(state, helpPath);
    char helpFile[PathChars] = {};
    strings.Read("common", "HelpFile", "vtlogext.hlp", helpFile);
    // A help path that does not fit stays empty: no help opens rather than another file.
    if (hasHelpPath)
        ComposePath(state->HelpFilePath, {helpPath, "\\", helpFile});
    else
        ComposePath(state->HelpFilePath, {state->ModuleDirectory, helpFile});

    strings.Read("common", "DatFile1", "vtjobac1.dat", state->DatFile1);
    strings.Read("common", "DatFile2", "vtjobac2.dat", state->DatFile2);
    strings.Read("common", "DatFile4", "vtjobac4.dat", state->DatFile4);
    strings.Read("common", "AccountFile", "vtjobac.ini", state->AccountFile);
    strings.Read("common", "MfHeader", "TV", state->MfHeader);
    strings.Read("string", "AppName", "TAVRO Jobtally Client", state->AppName);
}

namespace {

INIT_ONCE settingsFilled = INIT_ONCE_STATIC_INIT;

// Runs inside InitOnceExecuteOnce, which no exception may cross.
BOOL CALLBACK FillModuleSettings(PINIT_ONCE, PVOID, PVOID*) noexcept
{
    try {
        LoadModuleState(Module.ModuleInstance, &Module);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

BOOL CALLBACK LeaveModuleSettingsToCaller(PINIT_ONCE, PVOID, PVOID*) noexcept { return TRUE; }

}  // namespace

bool EnsureModuleSettings()
{
    return InitOnceExecuteOnce(&settingsFilled, FillModuleSettings, nullptr, nullptr) != FALSE;
}

void LoadModuleSettingsOf(HINSTANCE instance)
{
    InitOnceExecuteOnce(&settingsFilled, LeaveModuleSettingsToCaller, nullptr, nullptr);
    LoadModuleState(instance, &Module);
}

bool MasterSettingsPath(char (&path)[PathChars])
{
    return ComposePath(path, {Module.ModuleDirectory, Module.DatFile4});
}
