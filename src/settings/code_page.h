// What the text checks need to know of an ANSI code page, byte by byte. The checks read these
// tables instead of asking the platform, so they work the same on any code page they are given.
#pragma once

#include <array>
#include <bitset>

struct CodePageTraits {
    unsigned number = 1252;          // the code page's identifier, for conversions into it
    bool multibyte = false;          // characters of more than one byte exist
    std::bitset<256> leadByte;       // starts a double-byte character
    std::bitset<256> halfWidth;      // a single byte that is a half-width katakana form (U+FF61-U+FF9F)
    std::array<std::bitset<256>, 256> pairs;  // [lead][trail]: a character the code page defines
    std::bitset<65536> blankPairs;   // lead * 256 + trail: a double-byte blank (the ideographic space)

    bool IsLeadByte(unsigned char c) const { return leadByte[c]; }
    bool IsValidPair(unsigned char lead, unsigned char trail) const { return leadByte[lead] && pairs[lead][trail]; }
    bool IsBlankPair(unsigned char lead, unsigned char trail) const { return blankPairs[lead * 256u + trail]; }
};

// The process's ANSI code page as the platform describes it, read once.
const CodePageTraits& ProcessCodePage();

// Another installed code page (0, CP_ACP, is the process's).
CodePageTraits ReadCodePageTraits(unsigned codePage);

// Whether a character is one the profile functions skip as a blank at the start of a line.
bool IsUnicodeBlank(unsigned character);
