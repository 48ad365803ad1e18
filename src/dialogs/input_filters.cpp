#include "dialogs/input_filters.h"

size_t FilterName(const char* text, size_t limit, char* result, const CodePageTraits& codePage)
{
    size_t kept = 0;
    for (size_t i = 0; text[i] != '\0' && kept < limit && kept < DialogTextChars - 1;) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (codePage.IsLeadByte(byte) && text[i + 1] != '\0') {
            // A pair that no longer fits whole ends the text: the caller's field holds `limit`
            // bytes, the result DialogTextChars with its terminator, and half a character would be
            // garbage there.
            if (kept + 2 > limit || kept + 2 > DialogTextChars - 1)
                break;
            result[kept++] = text[i++];
            result[kept++] = text[i++];
            continue;
        }
        // On the Japanese code page the single bytes 0xA1-0xDF are half-width katakana and their
        // punctuation; on single-byte code pages nothing above 0x7E is kept.
        bool keep = byte != '"' && ((byte >= 0x20 && byte <= 0x7E) || byte == '\t' ||
                                    (byte > 0x7E && codePage.halfWidth[byte]));
        if (keep)
            result[kept++] = static_cast<char>(byte);
        ++i;
    }
    result[kept] = '\0';
    return kept;
}

size_t FilterDigits(const char* text, size_t limit, char* result)
{
    size_t kept = 0;
    for (size_t i = 0; text[i] != '\0' && kept < limit && kept < DialogTextChars - 1; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            result[kept++] = text[i];
    }
    result[kept] = '\0';
    return kept;
}
