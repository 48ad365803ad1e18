// The bounded copies that paths and names from the registry and the spooler go through: a text is
// cut to its buffer and always terminated; a path fits whole or the result is empty.
#include <vector>

#include "fuzz_support.h"
#include "settings/text.h"

namespace {

struct Guarded {
    explicit Guarded(size_t size) : bytes(size + 1, '\x55') {}
    char* data() { return bytes.data(); }
    bool Intact(size_t size) const { return bytes[size] == '\x55'; }
    std::vector<char> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const size_t bufferSize = input.ConsumeIntegralInRange<size_t>(0, 300);
    const ExactText first(input.ConsumeRandomLengthString(300));
    const ExactText second(input.ConsumeRandomLengthString(300));
    const ExactText third(input.ConsumeRemainingBytesAsString());
    const std::string whole = std::string(first.c_str()) + second.c_str() + third.c_str();

    Guarded cut(bufferSize);
    CopyCut(cut.data(), bufferSize, first.c_str());
    FUZZ_CHECK(cut.Intact(bufferSize));
    if (bufferSize > 0) {
        AppendCut(cut.data(), bufferSize, second.c_str());
        FUZZ_CHECK(cut.Intact(bufferSize));
        const std::string joined = std::string(first.c_str()) + second.c_str();
        FUZZ_CHECK(std::string(cut.data()) == joined.substr(0, bufferSize - 1));
    }

    Guarded path(bufferSize);
    if (bufferSize > 0)
        path.data()[0] = 'x';
    const bool composed = ComposePath(path.data(), bufferSize, {first.c_str(), second.c_str(), third.c_str()});
    FUZZ_CHECK(path.Intact(bufferSize));
    FUZZ_CHECK(composed == (whole.size() < bufferSize));
    if (bufferSize > 0)
        FUZZ_CHECK(std::string(path.data()) == (composed ? whole : std::string()));

    Guarded directory(bufferSize);
    const bool split = CopyDirectoryPart(directory.data(), bufferSize, whole.c_str());
    FUZZ_CHECK(directory.Intact(bufferSize));
    const size_t slash = whole.rfind('\\');
    const std::string expected = slash == std::string::npos ? std::string() : whole.substr(0, slash + 1);
    FUZZ_CHECK(split == (bufferSize > 0 && expected.size() < bufferSize));
    if (bufferSize > 0)
        FUZZ_CHECK(std::string(directory.data()) == (split ? expected : std::string()));
    return 0;
}
