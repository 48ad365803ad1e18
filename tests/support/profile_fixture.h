// The process user's profile directory, as the platform's ProfileList names it, pointed at a
// directory of the test's own.
#pragma once

#include <windows.h>

#include <string>

// The text form of the process user's security identifier, as the platform writes it.
std::string ProcessUserSidText();

// Points the process user's ProfileList entry at a fresh directory of the test's own while it
// lives, and puts the entry back as it was.
class PlantedProfile {
public:
    PlantedProfile();
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
