// The comma-field reader and the ID-file line split: every field is cut to its buffer and always
// terminated, the reader never moves past the text's end, and each field is the text between its
// separators.
#include <vector>

#include "fuzz_support.h"
#include "idlist/id_list.h"

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The field's bytes as the reader should store them, uncut.
std::string ModelField(const char* p, char separator)
{
    std::string field;
    const bool quoted = *p == '"';
    if (quoted)
        ++p;
    for (; *p && !IsLineEnd(*p) && (quoted || *p != separator); ++p) {
        if (quoted && *p == '"' && (p[1] == separator || p[1] == '\0' || IsLineEnd(p[1])))
            break;
        field += *p;
    }
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const char separator = input.ConsumeBool() ? ',' : static_cast<char>(input.ConsumeIntegral<uint8_t>());
    const size_t capacity = input.ConsumeIntegralInRange<size_t>(0, 100);
    const ExactText text(input.ConsumeRemainingBytesAsString());

    // Walk the whole text field by field, as the readers do.
    const char* p = text.c_str();
    const char* end = text.c_str() + text.size();
    for (int fields = 0; fields <= static_cast<int>(text.size()); ++fields) {
        std::unique_ptr<char[]> dest(new char[capacity + 1]);
        dest[capacity] = '\x55';
        const std::string expected = separator == '\0' ? std::string() : ModelField(p, separator);
        const char* next = ParseCsvField(p, separator, dest.get(), capacity);
        FUZZ_CHECK(dest[capacity] == '\x55');
        FUZZ_CHECK(next >= p && next <= end);
        FUZZ_CHECK(next > p || *p == '\0');
        if (capacity > 0 && separator != '\0') {
            FUZZ_CHECK(strnlen(dest.get(), capacity) < capacity);
            FUZZ_CHECK(std::string(dest.get()) == expected.substr(0, capacity - 1).c_str());
        }
        if (*next == '\0')
            break;
        p = next;
    }

    const IdRow row = SplitIdLine(text.c_str());
    FUZZ_CHECK(row.Name.size() <= IdNameBytes - 1 && row.ID.size() <= IdTextBytes - 1 &&
               row.UserName.size() <= IdUserBytes - 1);
    return 0;
}
