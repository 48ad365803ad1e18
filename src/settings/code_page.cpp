#include "settings/code_page.h"

#include <windows.h>

namespace {

bool DecodesToOneCharacter(UINT codePage, const char* bytes, int count, WCHAR* wide)
{
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, wide, 2) == 1;
}

bool IsPunctuationOrSymbol(unsigned char c)
{
    const char text[1] = {static_cast<char>(c)};
    WORD type1 = 0, type3 = 0;
    GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, text, 1, &type1);
    GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE3, text, 1, &type3);
    return (type1 & C1_PUNCT) || (type3 & C3_SYMBOL);
}

}  // namespace

CodePageTraits ReadCodePageTraits(unsigned codePage)
{
    CodePageTraits traits;
    CPINFO info = {};
    traits.multibyte = GetCPInfo(codePage, &info) && info.MaxCharSize > 1;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const auto c = static_cast<unsigned char>(byte);
        const char single = static_cast<char>(c);
        WCHAR wide[2] = {};
        if (DecodesToOneCharacter(codePage, &single, 1, wide) && wide[0] >= 0xFF61 && wide[0] <= 0xFF9F)
            traits.halfWidth[c] = true;
        if (traits.multibyte)
            traits.symbol[c] = IsPunctuationOrSymbol(c);
        if (!IsDBCSLeadByteEx(codePage, c))
            continue;
        traits.leadByte[c] = true;
        for (unsigned trail = 1; trail <= 0xFF; ++trail) {
            const char pair[2] = {single, static_cast<char>(trail)};
            traits.pairs[c][trail] = DecodesToOneCharacter(codePage, pair, 2, wide);
        }
    }
    return traits;
}

const CodePageTraits& ProcessCodePage()
{
    static const CodePageTraits traits = ReadCodePageTraits(CP_ACP);
    return traits;
}
