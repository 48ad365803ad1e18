#include "shellext/registration.h"

#include <cstring>

#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/registry.h"
#include "settings/text.h"
#include "shellext/shell_ext.h"

namespace {

const char DefaultExtensionName[] = "TAVRO Jobtally Client";
const char HandlersKey[] = "Printers\\shellex\\PropertySheetHandlers";
const char ApprovedKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const REGSAM ReadWrite = KEY_READ | KEY_WRITE;

// The name the handler key and the approval carry. An empty name would make the handler list
// itself the handler key, so it falls back to the default as a missing one does.
void ReadExtensionName(char (&name)[TextChars])
{
    ReadCommonText("ExtensionName", DefaultExtensionName, name, sizeof name);
    if (name[0] == '\0')
        CopyCut(name, DefaultExtensionName);
}

LONG SetText(HKEY key, const char* valueName, const char* text)
{
    return RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1));
}

}  // namespace

LONG RegisterExtension()
{
    char name[TextChars];
    ReadExtensionName(name);
    // The server entry must name this very file; a path that does not fit registers nothing.
    char modulePath[PathChars];
    if (!ComposePath(modulePath, {Module.ModuleDirectory, Module.ModuleFileName}))
        return ERROR_FILENAME_EXCED_RANGE;

    char classKeyPath[64];
    wsprintfA(classKeyPath, "CLSID\\%s", JobAccountClassIdText);
    RegKey classKey;
    LONG error = classKey.Create(HKEY_CLASSES_ROOT, classKeyPath, ReadWrite);
    if (error == ERROR_SUCCESS)
        error = SetText(classKey.get(), nullptr, name);
    if (error != ERROR_SUCCESS)
        return error;

    RegKey server;
    error = server.Create(classKey.get(), "InProcServer32", ReadWrite);
    if (error == ERROR_SUCCESS)
        error = SetText(server.get(), nullptr, modulePath);
    if (error == ERROR_SUCCESS)
        error = SetText(server.get(), "ThreadingModel", "Apartment");
    if (error != ERROR_SUCCESS)
        return error;
    server.Close();
    classKey.Close();

    char handlerPath[sizeof HandlersKey + 1 + TextChars];
    wsprintfA(handlerPath, "%s\\%s", HandlersKey, name);
    RegKey handler;
    error = handler.Create(HKEY_CLASSES_ROOT, handlerPath, ReadWrite);
    if (error == ERROR_SUCCESS)
        error = SetText(handler.get(), nullptr, JobAccountClassIdText);
    if (error != ERROR_SUCCESS)
        return error;
    handler.Close();

    if (IsNTPlatform()) {
        RegKey approved;
        error = approved.Create(HKEY_LOCAL_MACHINE, ApprovedKey, ReadWrite);
        if (error == ERROR_SUCCESS)
            error = SetText(approved.get(), JobAccountClassIdText, name);
        if (error != ERROR_SUCCESS)
            return error;
    }
    return ERROR_SUCCESS;
}

LONG UnregisterExtension()
{
    char name[TextChars];
    ReadExtensionName(name);

    RegKey classes;
    LONG error = classes.Open(HKEY_CLASSES_ROOT, "CLSID", ReadWrite);
    if (error != ERROR_SUCCESS)
        return error;
    RegKey classKey;
    error = classKey.Open(classes.get(), JobAccountClassIdText, ReadWrite);
    if (error != ERROR_SUCCESS)
        return error;
    error = RegDeleteKeyA(classKey.get(), "InProcServer32");
    // A class key left without its server (a registration cut short) is still removed.
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return error;
    classKey.Close();
    error = RegDeleteKeyA(classes.get(), JobAccountClassIdText);
    if (error != ERROR_SUCCESS)
        return error;
    classes.Close();

    RegKey handlers;
    error = handlers.Open(HKEY_CLASSES_ROOT, HandlersKey, ReadWrite);
    if (error == ERROR_SUCCESS)
        error = RegDeleteKeyA(handlers.get(), name);
    if (error != ERROR_SUCCESS)
        return error;
    handlers.Close();

    if (IsNTPlatform()) {
        RegKey approved;
        error = approved.Open(HKEY_LOCAL_MACHINE, ApprovedKey, ReadWrite);
        if (error == ERROR_SUCCESS)
            error = RegDeleteValueA(approved.get(), JobAccountClassIdText);
        if (error != ERROR_SUCCESS)
            return error;
    }
    return ERROR_SUCCESS;
}
