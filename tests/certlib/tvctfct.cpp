// A certificate library for tests: GetCertificateInfo answers with the certificates listed in
// "tvctfct.txt" beside the library, one "issuer|subject" line each. The result is a 5 x n array of
// text VARIANTs (issuer at first index 4, subject at first index 2) that the caller clears.
// A line "#bstr" answers with an array of BSTRs instead (still the caller's), a line "#byref"
// with a reference to an array of VARIANTs that the library keeps and frees when it is unloaded, a
// line "#ending-at-max" with the certificates numbered up to LONG_MAX instead of from 1. Built as
// tvctfctdep.dll (ZR_CERT_DEPENDENCY), it takes the serial numbers from a DLL of its own,
// zrcertdep.dll, which the loader must find for it.
#include <windows.h>
#include <oleauto.h>

#include <climits>
#include <fstream>
#include <string>
#include <vector>

#ifdef ZR_CERT_DEPENDENCY
extern "C" __declspec(dllimport) const char* CertificateSerial();
#else
static const char* CertificateSerial() { return "serial"; }
#endif

namespace {

HMODULE self;
SAFEARRAY* kept;  // the array a by-reference answer points at

std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

void Put(SAFEARRAY* array, LONG first, LONG second, const std::string& text)
{
    LONG indices[2] = {first, second};
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(Widen(text).c_str());
    SafeArrayPutElement(array, indices, &value);
    VariantClear(&value);
}

void PutText(SAFEARRAY* array, LONG first, LONG second, const std::string& text)
{
    LONG indices[2] = {first, second};
    BSTR value = SysAllocString(Widen(text).c_str());
    SafeArrayPutElement(array, indices, value);
    SysFreeString(value);
}

}  // namespace

extern "C" LONG WINAPI GetCertificateInfo(LONG /*reserved*/, VARIANT* result)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, sizeof path);
    std::string file = path;
    file = file.substr(0, file.rfind('\\') + 1) + "tvctfct.txt";
    std::ifstream in(file);
    if (!in)
        return E_FAIL;
    std::vector<std::pair<std::string, std::string>> certificates;
    std::string form;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '#') {
            form = line;
            continue;
        }
        size_t bar = line.find('|');
        if (bar != std::string::npos)
            certificates.emplace_back(line.substr(0, bar), line.substr(bar + 1));
    }
    bool texts = form == "#bstr";
    const LONG first = form == "#ending-at-max" ? LONG_MAX - static_cast<LONG>(certificates.size()) + 1 : 1;
    SAFEARRAYBOUND bounds[2] = {{5, 0}, {static_cast<ULONG>(certificates.size()), first}};
    SAFEARRAY* array = SafeArrayCreate(texts ? VT_BSTR : VT_VARIANT, 2, bounds);
    if (!array)
        return E_OUTOFMEMORY;
    auto put = texts ? PutText : Put;
    for (size_t i = 0; i < certificates.size(); ++i) {
        const LONG index = first + static_cast<LONG>(i);
        put(array, 4, index, certificates[i].first);
        put(array, 2, index, certificates[i].second);
        put(array, 0, index, CertificateSerial());
    }
    VariantInit(result);
    if (form == "#byref") {
        if (kept)
            SafeArrayDestroy(kept);
        kept = array;
        result->vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
        result->pparray = &kept;
        return S_OK;
    }
    result->vt = VT_ARRAY | (texts ? VT_BSTR : VT_VARIANT);
    result->parray = array;
    return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        self = instance;
    else if (reason == DLL_PROCESS_DETACH && kept)
        SafeArrayDestroy(kept);
    return TRUE;
}
