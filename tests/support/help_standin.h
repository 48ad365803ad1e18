// HtmlHelpA is looked up at run time: while a HelpStandIn lives, the look-up of a module (the test
// program itself, or a loaded copy of zrlogext.dll) finds a recorder of what would have been opened.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "iat_hook.h"

struct HelpCall {
    std::string path;
    UINT command;
    DWORD_PTR data;
};
extern std::vector<HelpCall> HelpCalls;

struct HelpStandIn {
    explicit HelpStandIn(HMODULE module = nullptr);
    ~HelpStandIn();
    HelpStandIn(const HelpStandIn&) = delete;
    HelpStandIn& operator=(const HelpStandIn&) = delete;
    ImportHook hook;
};
