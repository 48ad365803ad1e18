#include "help_standin.h"

#include <cstring>

std::vector<HelpCall> HelpCalls;

namespace {

ImportHook* ProcAddressHook = nullptr;

HWND WINAPI RecordHtmlHelp(HWND, LPCSTR path, UINT command, DWORD_PTR data)
{
    HelpCalls.push_back({path ? path : "", command, data});
    return nullptr;
}

FARPROC WINAPI LookUpWithHelpStandIn(HMODULE module, LPCSTR name)
{
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && strcmp(name, "HtmlHelpA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(RecordHtmlHelp));
    using Original = FARPROC(WINAPI*)(HMODULE, LPCSTR);
    return reinterpret_cast<Original>(ProcAddressHook->original())(module, name);
}

}  // namespace

HelpStandIn::HelpStandIn(HMODULE module)
    : hook(module, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(LookUpWithHelpStandIn))
{
    ProcAddressHook = &hook;
    HelpCalls.clear();
}

HelpStandIn::~HelpStandIn() { ProcAddressHook = nullptr; }
