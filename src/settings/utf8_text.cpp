#include "settings/utf8_text.h"

#include <windows.h>

#include <vector>

const char Utf8Mark[] = "\xEF\xBB\xBF";

namespace {

bool IsAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

bool Utf8ToAnsiExactly(const std::string& utf8, unsigned codePage, std::string* ansi)
{
    ansi->clear();
    // Every ANSI code page holds ASCII as it is, and most ID files are nothing else.
    if (IsAscii(utf8)) {
        *ansi = utf8;
        return true;
    }
    if (utf8.size() > 0x7FFFFFFF)
        return false;
    const int bytes = static_cast<int>(utf8.size());
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::vector<WCHAR> wide(static_cast<size_t>(wideLength));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, wide.data(), wideLength) != wideLength)
        return false;
    // A system whose ANSI code page is UTF-8 takes valid UTF-8 as it stands (and the conversion
    // into it takes neither flags nor a default-character report).
    if (codePage == CP_UTF8) {
        *ansi = utf8;
        return true;
    }
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0,
                                           nullptr, &usedDefault);
    if (length <= 0 || usedDefault)
        return false;
    std::string converted(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, &converted[0], length, nullptr,
                            &usedDefault) != length ||
        usedDefault)
        return false;
    *ansi = std::move(converted);
    return true;
}
