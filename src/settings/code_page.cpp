#include "settings/code_page.h"

#include <windows.h>

namespace {

bool DecodesToOneCharacter(UINT codePage, const char* bytes, int count, WCHAR* wide)
{
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, wide, 2) == 1;
}

}  // namespace

bool IsUnicodeBlank(unsigned c)
{
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

CodePageTraits ReadCodePageTraits(unsigned codePage)
{
    CodePageTraits traits;
    // Conversions name the code page itself: CP_ACP would follow a thread's code page instead.
    traits.number = codePage == CP_ACP ? GetACP() : codePage;
    CPINFO info = {};
    traits.multibyte = GetCPInfo(codePage, &info) && info.MaxCharSize > 1;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const auto c = static_cast<unsigned char>(byte);
        const char single = static_cast<char>(c);
        WCHAR wide[2] = {};
        if (DecodesToOneCharacter(codePage, &single, 1, wide) && wide[0] >= 0xFF61 && wide[0] <= 0xFF9F)
            traits.halfWidth[c] = true;
        if (!IsDBCSLeadByteEx(codePage, c))
            continue;
        traits.leadByte[c] = true;
        for (unsigned trail = 1; trail <= 0xFF; ++trail) {
            const char pair[2] = {single, static_cast<char>(trail)};
            traits.pairs[c][trail] = DecodesToOneCharacter(codePage, pair, 2, wide);
            if (traits.pairs[c][trail] && IsUnicodeBlank(wide[0]))
                traits.blankPairs[byte * 256u + trail] = true;
        }
    }
    return traits;
}

const CodePageTraits& ProcessCodePage()
{
    static const CodePageTraits traits = ReadCodePageTraits(CP_ACP);
    return traits;
}
