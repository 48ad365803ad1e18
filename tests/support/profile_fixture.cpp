#include "profile_fixture.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <vector>

#include "sandbox.h"

std::string ProcessUserSidText()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    std::string text;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        char* sidText = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
            text = sidText;
            LocalFree(sidText);
        }
    }
    CloseHandle(token);
    return text;
}

PlantedProfile::PlantedProfile(const std::string& sid, bool withDirectory)
{
    EXPECT_FALSE(sid.empty());
    key_ = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
    HKEY key = nullptr;
    keyExisted_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyExisted_) {
        BYTE data[1024] = {};
        DWORD size = sizeof data;
        valueExisted_ = RegQueryValueExA(key, "ProfileImagePath", nullptr, &type_, data, &size) == ERROR_SUCCESS;
        if (valueExisted_)
            saved_.assign(reinterpret_cast<char*>(data), size);
        RegCloseKey(key);
    }
    directory_ = FreshTestDirectory("profile");
    directory_.pop_back();
    SetRegistryString(key_, "ProfileImagePath", withDirectory ? directory_ : std::string());
}

PlantedProfile::~PlantedProfile()
{
    if (!keyExisted_) {
        DeleteRegistryTree(key_);
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (valueExisted_)
                RegSetValueExA(key, "ProfileImagePath", 0, type_, reinterpret_cast<const BYTE*>(saved_.data()),
                               static_cast<DWORD>(saved_.size()));
            else
                RegDeleteValueA(key, "ProfileImagePath");
            RegCloseKey(key);
        }
    }
    RemoveTree(directory_);
}
