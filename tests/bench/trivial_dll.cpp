// The load benchmark's floor: a library that asks nothing of the system beyond kernel32.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD WINAPI TrivialTicks()
{
    return GetTickCount();
}
