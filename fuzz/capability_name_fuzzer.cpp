// The capability-file name rules of the driver's dependent files, compiled from the resolver's own
// source (see extract.sh): the older "VT" form and the "TV"-style form with the module's header.
#include <windows.h>

#include "fuzz_support.h"
#include "settings/module_state.h"

namespace {
#include "capability_rules.inc"

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string header = input.ConsumeBytesAsString(2);
    memset(Module.MfHeader, 0, sizeof Module.MfHeader);
    memcpy(Module.MfHeader, header.data(), std::min(header.size(), sizeof Module.MfHeader - 1));
    const ExactText name(input.ConsumeRemainingBytesAsString());
    const char* n = name.c_str();

    const bool older = IsOlderCapabilityName(n);
    bool olderModel = name.size() == 12 && n[0] == 'V' && n[1] == 'T' && memcmp(n + 8, ".CAP", 4) == 0 &&
                      n[2] == '0' && n[3] == '1' && n[7] != '0';
    for (int i = 4; olderModel && i < 8; ++i)
        olderModel = IsUpperHex(n[i]);
    FUZZ_CHECK(older == olderModel);

    const bool current = IsCapabilityFileName(n);
    const bool headerSet = strlen(Module.MfHeader) == 2;
    FUZZ_CHECK(current == (headerSet && name.size() >= 12 && memcmp(n, Module.MfHeader, 2) == 0 &&
                           memcmp(n + 8, ".CAP", 4) == 0));
    return 0;
}
