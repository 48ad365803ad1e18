#include "settings/module_state.h"

#include <cstring>

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

void ChooseStringFile(HINSTANCE instance, ModuleState* state)
{
    char primary[DataFileChars] = {};
    char alternate[DataFileChars] = {};
    LoadStringA(instance, IDS_STRING_FILE, primary, sizeof primary);
    LoadStringA(instance, IDS_STRING_FILE_ALT, alternate, sizeof alternate);

    CopyCut(state->StringFilePath, state->ModuleDirectory);
    AppendCut(state->StringFilePath, primary);
    if (FileExists(state->StringFilePath))
        return;
    CopyCut(state->StringFilePath, state->ModuleDirectory);
    AppendCut(state->StringFilePath, alternate);
}

// Fills the help directory and the two module paths from the registry key.
void ReadRegistryPaths(ModuleState* state, char (&helpDirectory)[PathChars])
{
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, state->RegistryRoot, KEY_READ) != ERROR_SUCCESS) {
        CopyCut(helpDirectory, state->ModuleDirectory);
        state->ModPath64[0] = '\0';
        state->ModPath32[0] = '\0';
        return;
    }
    if (key.ReadText("HelpPath", helpDirectory, sizeof helpDirectory))
        AppendCut(helpDirectory, "\\");
    else
        CopyCut(helpDirectory, state->ModuleDirectory);
    if (!key.ReadText("ModPath64", state->ModPath64, sizeof state->ModPath64))
        state->ModPath64[0] = '\0';
    if (!key.ReadText("ModPath32", state->ModPath32, sizeof state->ModPath32))
        CopyCut(state->ModPath32, state->ModuleDirectory);
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

    char helpDirectory[PathChars] = {};
    ReadRegistryPaths(state, helpDirectory);
    char helpFile[PathChars] = {};
    ReadProfileText(file, "common", "HelpFile", "vtlogext.hlp", helpFile);
    CopyCut(state->HelpFilePath, helpDirectory);
    AppendCut(state->HelpFilePath, helpFile);

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

void MasterSettingsPath(char (&path)[PathChars])
{
    CopyCut(path, Module.ModuleDirectory);
    AppendCut(path, Module.DatFile4);
}
