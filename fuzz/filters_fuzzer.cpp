// The entry dialogs' name and digit filters, on the Japanese and the Western code page: the kept
// text is a part of the input, within the limit, whole characters only, and nothing the filter
// exists to remove.
#include <vector>

#include "code_pages.h"
#include "dialogs/input_filters.h"
#include "fuzz_support.h"

namespace {

bool IsSubsequence(const char* part, const char* whole)
{
    for (; *part; ++part) {
        whole = strchr(whole, *part);
        if (!whole)
            return false;
        ++whole;
    }
    return true;
}

void CheckNameFilter(const ExactText& text, size_t limit, const CodePageTraits& codePage)
{
    std::vector<char> result(DialogTextChars + 1, '\x55');
    const size_t kept = FilterName(text.c_str(), limit, result.data(), codePage);
    FUZZ_CHECK(result[DialogTextChars] == '\x55');
    FUZZ_CHECK(kept <= limit && kept < DialogTextChars);
    FUZZ_CHECK(strlen(result.data()) == kept);
    FUZZ_CHECK(IsSubsequence(result.data(), text.c_str()));
    for (size_t i = 0; i < kept;) {
        const auto byte = static_cast<unsigned char>(result[i]);
        if (codePage.IsLeadByte(byte)) {
            FUZZ_CHECK(i + 1 < kept);  // never half a character at the end
            i += 2;
            continue;
        }
        FUZZ_CHECK(byte != '"');
        FUZZ_CHECK((byte >= 0x20 && byte <= 0x7E) || byte == '\t' || codePage.halfWidth[byte]);
        ++i;
    }
    // Text the filter has nothing to take from comes through whole, up to the limit.
    bool plain = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text.c_str()[i]);
        plain = plain && byte >= 0x20 && byte <= 0x7E && byte != '"';
    }
    if (plain)
        FUZZ_CHECK(kept == std::min({text.size(), limit, size_t{DialogTextChars - 1}}));
}

void CheckDigitFilter(const ExactText& text, size_t limit)
{
    std::vector<char> result(DialogTextChars + 1, '\x55');
    const size_t kept = FilterDigits(text.c_str(), limit, result.data());
    FUZZ_CHECK(result[DialogTextChars] == '\x55');
    FUZZ_CHECK(kept <= limit && kept < DialogTextChars && strlen(result.data()) == kept);
    FUZZ_CHECK(IsSubsequence(result.data(), text.c_str()));
    size_t digits = 0;
    for (size_t i = 0; i < text.size(); ++i)
        digits += text.c_str()[i] >= '0' && text.c_str()[i] <= '9';
    FUZZ_CHECK(kept == std::min({digits, limit, size_t{DialogTextChars - 1}}));
    for (size_t i = 0; i < kept; ++i)
        FUZZ_CHECK(result[i] >= '0' && result[i] <= '9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool japanese = input.ConsumeBool();
    const size_t limit = input.ConsumeIntegralInRange<size_t>(0, 300);
    const ExactText text(input.ConsumeRemainingBytesAsString());
    CheckNameFilter(text, limit, CodePageOf(japanese));
    CheckDigitFilter(text, limit);
    return 0;
}
