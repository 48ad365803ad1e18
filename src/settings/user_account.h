// The user the calling thread acts for, and where a user's profile lies.
#pragma once

#include <windows.h>
#include <lmcons.h>

#include <vector>

// The name of the user the calling thread acts for: the client it impersonates (the spooler
// serving a job), else the process's user. The local security authority answers it from the
// logon session, without asking the network.
bool CallerName(char (&name)[UNLEN + 1]);

// The security identifier of the user the calling thread acts for, from its token: the
// impersonated client's, else the process's.
bool CallerSid(std::vector<BYTE>* sid);

// The standard text form of a security identifier ("S-1-5-21-..."); false for an invalid one, and
// for a buffer shorter than 28 + 12 per sub-authority, whose length `length` then receives.
bool SidToText(PSID sid, char* text, DWORD* length);

// The expanded profile directory of the user whose identifier is `sidText`; false when the machine
// keeps no profile for that user.
bool GetProfileDirectory(const char* sidText, char* directory, DWORD size);

// The profile directory of the user the calling thread acts for; false when there is none.
bool CallerProfileDirectory(char* directory, DWORD size);
