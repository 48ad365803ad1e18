// The DLL that tvctfctdep.dll imports: where the loader looks for it decides whether the
// certificate library loads at all.
#include <windows.h>

extern "C" __declspec(dllexport) const char* CertificateSerial()
{
    return "serial";
}
