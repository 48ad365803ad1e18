// The process user's profile directory, as the platform's ProfileList names it, pointed at a
// directory of the test's own.
#pragma once

#include <windows.h>

#include <string>

// The text form of the process user's security identifier, as the platform writes it.
std::string ProcessUserSidText();

// Points a user's ProfileList entry (the process user's unless another identifier is given) at a
// fresh directory of the test's own while it lives, or with `withDirectory` false names no
// directory at all, as for a user without a profile here; puts the entry back as it was.
class PlantedProfile {
public:
    explicit PlantedProfile(const std::string& sidText = ProcessUserSidText(), bool withDirectory = true);
    ~PlantedProfile();
    PlantedProfile(const PlantedProfile&) = delete;
    PlantedProfile& operator=(const PlantedProfile&) = delete;

    // The profile directory, without a trailing backslash.
    const std::string& Directory() const { return directory_; }
    // `name` in the profile directory ("vtjobac.ini", the module's default account file).
    std::string File(const std::string& name = "vtjobac.ini") const { return directory_ + "\\" + name; }

private:
    std::string key_;
    std::string directory_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_SZ;
    std::string saved_;
};
