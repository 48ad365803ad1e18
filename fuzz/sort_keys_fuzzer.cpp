// The ID lists' column sort: the keys it ranks once from the rows' texts give a consistent order
// for any tags and texts, including tags the rows do not have; the numbers are the texts' leading
// digits, saturated.
#include <vector>

#include "fuzz_support.h"
#include "idlist/id_list.h"

namespace {

long long ModelLeadingNumber(const std::string& text)
{
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value > 0x7FFFFFFFFFFFLL / 10 ? 0x7FFFFFFFFFFFLL : std::min(value * 10 + (c - '0'), 0x7FFFFFFFFFFFLL);
    }
    return value;
}

int Sign(int x) { return x < 0 ? -1 : (x > 0 ? 1 : 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<LPARAM> tags;
    std::vector<std::string> texts;
    const bool wide = input.ConsumeBool();
    for (int rows = input.ConsumeIntegralInRange(0, 16); rows > 0 && input.remaining_bytes() > 0; --rows) {
        tags.push_back(wide ? input.ConsumeIntegral<LPARAM>() : input.ConsumeIntegralInRange<LPARAM>(-2, 60));
        texts.push_back(input.ConsumeRandomLengthString(300));
    }
    for (const std::string& text : texts)
        FUZZ_CHECK(LeadingNumber(text) == ModelLeadingNumber(text));

    const SortKeys keys(tags, texts);
    std::vector<LPARAM> probes = tags;
    probes.push_back(-1);
    probes.push_back(static_cast<LPARAM>(tags.size()));
    probes.push_back(input.ConsumeIntegral<LPARAM>());
    // A comparison is a consistent order exactly when it agrees, for every pair, with comparing
    // how many probes rank below each: then it is the order of those counts, so it is reflexive,
    // antisymmetric and transitive at once, at the cost of two passes over the pairs.
    for (auto compare : {&SortKeys::CompareText, &SortKeys::CompareNumber}) {
        std::vector<int> below(probes.size(), 0);
        for (size_t i = 0; i < probes.size(); ++i)
            for (LPARAM b : probes)
                below[i] += (keys.*compare)(b, probes[i]) < 0;
        for (size_t i = 0; i < probes.size(); ++i)
            for (size_t j = 0; j < probes.size(); ++j)
                FUZZ_CHECK(Sign((keys.*compare)(probes[i], probes[j])) == Sign(below[i] - below[j]));
    }
    // Byte-wise and unsigned, as the standard's comparison of strings is.
    for (size_t i = 0; i + 1 < texts.size(); ++i)
        FUZZ_CHECK(CompareIdTexts(texts[i], texts[i + 1]) == Sign(texts[i].compare(texts[i + 1])));
    return 0;
}
