// The version box's copyright lines: "/" starts a line, a blank after it stays on the line before,
// and the text is cut to the buffer, never past it.
#include <vector>

#include "admin/version_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const size_t bufferSize = input.ConsumeIntegralInRange<size_t>(1, 300);
    const std::string before = ExactText(input.ConsumeRandomLengthString(300)).c_str();
    const ExactText copyright(input.ConsumeRemainingBytesAsString());

    std::vector<char> buffer(bufferSize + 1, '\x55');
    const size_t used = std::min(before.size(), bufferSize - 1);
    memcpy(buffer.data(), before.data(), used);
    buffer[used] = '\0';
    AppendCopyrightLines(buffer.data(), bufferSize, copyright.c_str());
    FUZZ_CHECK(buffer[bufferSize] == '\x55');

    std::string whole = before.substr(0, used);
    for (const char* c = copyright.c_str(); *c; ++c) {
        if (*c != '/') {
            whole += *c;
        } else if (c[1] == ' ') {
            whole += " \n";
            ++c;
        } else {
            whole += '\n';
        }
    }
    FUZZ_CHECK(strnlen(buffer.data(), bufferSize) < bufferSize);
    FUZZ_CHECK(std::string(buffer.data()) == whole.substr(0, bufferSize - 1));
    return 0;
}
