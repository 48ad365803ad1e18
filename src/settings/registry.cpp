#include "settings/registry.h"

#include <vector>

#include "settings/module_state.h"
#include "settings/text.h"

LONG RegKey::Open(HKEY parent, const char* subkey, REGSAM access)
{
    Close();
    LONG error = RegOpenKeyExA(parent, subkey, 0, access, &key_);
    if (error != ERROR_SUCCESS)
        key_ = nullptr;
    return error;
}

LONG RegKey::Create(HKEY parent, const char* subkey, REGSAM access)
{
    Close();
    LONG error = RegCreateKeyExA(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 &key_, nullptr);
    if (error != ERROR_SUCCESS)
        key_ = nullptr;
    return error;
}

void RegKey::Close()
{
    if (key_)
        RegCloseKey(key_);
    key_ = nullptr;
}

bool RegKey::ReadText(const char* name, char* buffer, DWORD size) const
{
    if (!key_ || !buffer || size == 0)
        return false;
    buffer[0] = '\0';
    DWORD bytes = 0;
    if (RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    std::vector<char> data(bytes + 1, '\0');
    if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS)
        return false;
    data[bytes < data.size() ? bytes : data.size() - 1] = '\0';
    CopyCut(buffer, size, data.data());
    return true;
}

bool RegKey::ReadDword(const char* name, DWORD* value) const
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD bytes = sizeof data;
    if (!key_ || RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
                     ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || bytes != sizeof data)
        return false;
    *value = data;
    return true;
}

DWORD ReadRegistryDword(const char* name, DWORD fallback)
{
    RegKey key;
    DWORD value = fallback;
    if (key.Open(HKEY_LOCAL_MACHINE, Module.RegistryRoot, KEY_READ) == ERROR_SUCCESS &&
        key.ReadDword(name, &value))
        return value;
    return fallback;
}

void WriteRegistryDword(const char* name, DWORD value)
{
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, Module.RegistryRoot, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
