// The settings-number reader and the ID parser against a plain model of each.
#include "fuzz_support.h"
#include "idlist/id_list.h"
#include "settings/profile.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks, a sign, digits; the magnitude clamped at 2^32 - 1 (2^31 when negative) however long it is.
unsigned long ModelDecimal(const char* text)
{
    while (IsBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-')
        ++text;
    const unsigned long long limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
    unsigned long long magnitude = 0;
    bool over = false;
    for (; IsDigit(*text); ++text) {
        if (!over)
            magnitude = magnitude * 10 + static_cast<unsigned>(*text - '0');
        over = over || magnitude > limit;
    }
    const unsigned long value = static_cast<unsigned long>(over ? limit : magnitude);
    return negative ? 0ul - value : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ExactText text(std::string(reinterpret_cast<const char*>(data), size));
    // Callers keep the value as a DWORD; unsigned long is wider here than on Windows.
    const uint32_t decimal = static_cast<uint32_t>(ParseDecimal(text.c_str()));
    FUZZ_CHECK(decimal == static_cast<uint32_t>(ModelDecimal(text.c_str())));

    // An ID: digits only, one to ten of them, 1 to 999999999.
    const long long id = ParseJobAccountID(text.c_str());
    const int code = CheckJobAccountID(text.c_str());
    bool digitsOnly = true;
    for (size_t i = 0; i < text.size(); ++i)
        digitsOnly = digitsOnly && IsDigit(text.c_str()[i]);
    if (!digitsOnly) {
        FUZZ_CHECK(code == IdListBadDigit);
    } else if (text.size() > 0) {
        FUZZ_CHECK(id >= 0);
        const bool inRange = text.size() <= 10 && id >= 1 && id <= 999999999;
        FUZZ_CHECK(code == (inRange ? IdListAccepted : IdListBadRange));
        if (inRange)
            FUZZ_CHECK(static_cast<uint32_t>(id) == decimal);
    }
    return 0;
}
