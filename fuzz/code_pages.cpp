#include "code_pages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace {

enum class Decoded { One, Incomplete, Invalid };

// What the conversion makes of `count` bytes: one character (into `wide`), the start of one, or
// nothing valid.
Decoded Decode(iconv_t convert, const unsigned char* bytes, size_t count, wchar_t* wide)
{
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {static_cast<char>(bytes[0]), count > 1 ? static_cast<char>(bytes[1]) : '\0'};
    wchar_t out[4] = {};
    char* inPointer = in;
    char* outPointer = reinterpret_cast<char*>(out);
    size_t inLeft = count, outLeft = sizeof out;
    const size_t result = iconv(convert, &inPointer, &inLeft, &outPointer, &outLeft);
    if (result == static_cast<size_t>(-1))
        return errno == EINVAL ? Decoded::Incomplete : Decoded::Invalid;
    if (inLeft != 0 || sizeof out - outLeft != sizeof(wchar_t))
        return Decoded::Invalid;
    *wide = out[0];
    return Decoded::One;
}

CodePageTraits BuildJapanese()
{
    iconv_t convert = iconv_open("WCHAR_T", "CP932");
    if (convert == reinterpret_cast<iconv_t>(-1)) {
        fprintf(stderr, "the C library cannot convert CP932\n");
        abort();
    }
    CodePageTraits traits;
    traits.number = 932;
    traits.multibyte = true;
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const unsigned char single[1] = {static_cast<unsigned char>(byte)};
        wchar_t wide = 0;
        const Decoded alone = Decode(convert, single, 1, &wide);
        if (alone == Decoded::One && wide >= 0xFF61 && wide <= 0xFF9F)
            traits.halfWidth[byte] = true;
        if (alone != Decoded::Incomplete)
            continue;
        traits.leadByte[byte] = true;
        for (unsigned trail = 1; trail <= 0xFF; ++trail) {
            const unsigned char pair[2] = {static_cast<unsigned char>(byte), static_cast<unsigned char>(trail)};
            traits.pairs[byte][trail] = Decode(convert, pair, 2, &wide) == Decoded::One;
            // The ideographic space, which the profile functions skip as they skip a space.
            if (traits.pairs[byte][trail] && (wide == 0x3000 || std::iswspace(static_cast<wint_t>(wide))))
                traits.blankPairs[byte * 256u + trail] = true;
        }
    }
    iconv_close(convert);
    return traits;
}

}  // namespace

const CodePageTraits& JapaneseCodePage()
{
    static const CodePageTraits traits = BuildJapanese();
    return traits;
}

const CodePageTraits& WesternCodePage()
{
    static const CodePageTraits traits;
    return traits;
}

const CodePageTraits& CodePageOf(bool japanese) { return japanese ? JapaneseCodePage() : WesternCodePage(); }
