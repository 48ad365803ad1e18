// Registry access under the module's key, and an owner for open keys.
#pragma once

#include <windows.h>

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Each returns the registry call's error code (ERROR_SUCCESS on success) as its result.
    LONG Open(HKEY parent, const char* subkey, REGSAM access);
    LONG Create(HKEY parent, const char* subkey, REGSAM access);
    void Close();

    // Text of any type, cut to `size` bytes and terminated; false when missing.
    bool ReadText(const char* name, char* buffer, DWORD size) const;
    // A REG_DWORD of exactly 4 bytes; false for a missing value or any other type or size.
    bool ReadDword(const char* name, DWORD* value) const;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

// 32-bit values directly under HKEY_LOCAL_MACHINE\<RegistryRoot>.
DWORD ReadRegistryDword(const char* name, DWORD fallback);
void WriteRegistryDword(const char* name, DWORD value);
