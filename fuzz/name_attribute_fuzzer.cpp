// The certificate name attribute matcher, compiled from the resolver's own source (see
// extract.sh): the value found is cut to the buffer and is the text after "type=" up to the next
// comma outside quotes.
#include <vector>

#include "fuzz_support.h"
#include "settings/text.h"

namespace {
#include "name_attribute.inc"
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const size_t capacity = input.ConsumeIntegralInRange<size_t>(0, 300);
    const ExactText type(input.ConsumeBool() ? std::string(input.ConsumeBool() ? "CN" : "T")
                                             : input.ConsumeRandomLengthString(4));
    const ExactText name(input.ConsumeRemainingBytesAsString());

    std::vector<char> value(capacity + 1, '\x55');
    const bool found = FindNameAttribute(name.c_str(), type.c_str(), value.data(), capacity);
    FUZZ_CHECK(value[capacity] == '\x55');
    if (capacity == 0 || type.size() == 0) {
        FUZZ_CHECK(!found);
        return 0;
    }
    FUZZ_CHECK(strnlen(value.data(), capacity) < capacity);
    if (!found) {
        FUZZ_CHECK(value[0] == '\0');
        return 0;
    }
    // The value stands in the name right after "type=", and holds no comma outside quotes.
    const std::string text = value.data();
    const std::string attribute = std::string(type.c_str()) + "=" + text;
    FUZZ_CHECK(strstr(name.c_str(), attribute.c_str()) != nullptr);
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        FUZZ_CHECK(quoted || c != ',');
    }
    return 0;
}
