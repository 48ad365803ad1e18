#include "settings/module_state.h"

#include <cstring>

#include "settings/helpers.h"
#include "settings/profile.h"
#include "settings/registry.h"
#include "settings/text.h"

ModuleState Module;

namespace {

const char DefaultRegistryRoot[] = "SOFTWARE\\Tavrodata\\TAVRO Jobtally Client";

bool FileExists(const char* path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

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
    ReadProfileText(file, "common", "RegRoot", DefaultRegistryRoot, state->RegistryRoot);

    char helpPath[PathChars + 1] = {};
    bool hasHelpPath = ReadRegistryPaths(state, helpPath);
    char helpFile[PathChars] = {};
    ReadProfileText(file, "common", "HelpFile", "vtlogext.hlp", helpFile);
    // A help path that does not fit stays empty: no help opens rather than another file.
    if (hasHelpPath)
        ComposePath(state->HelpFilePath, {helpPath, "\\", helpFile});
    else
        ComposePath(state->HelpFilePath, {state->ModuleDirectory, helpFile});

    ReadProfileText(file, "common", "DatFile1", "vtjobac1.dat", state->DatFile1);
    ReadProfileText(file, "common", "DatFile2", "vtjobac2.dat", state->DatFile2);
    ReadProfileText(file, "common", "DatFile4", "vtjobac4.dat", state->DatFile4);
    ReadProfileText(file, "common", "AccountFile", "vtjobac.ini", state->AccountFile);
    ReadProfileText(file, "common", "MfHeader", "TV", state->MfHeader);
    ReadProfileText(file, "string", "AppName", "TAVRO Jobtally Client", state->AppName);
}

void InitModuleSettings()
{
    LoadModuleState(Module.ModuleInstance, &Module);
}

bool MasterSettingsPath(char (&path)[PathChars])
{
    return ComposePath(path, {Module.ModuleDirectory, Module.DatFile4});
}
