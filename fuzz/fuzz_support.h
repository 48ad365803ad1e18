// What every fuzz target shares: inputs copied into blocks of their exact size, so that a read
// one byte past a text is an AddressSanitizer report, and property checks that abort with a word
// on what broke.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);       \
            abort();                                                                                 \
        }                                                                                            \
    } while (0)

// A zero-terminated copy of `text` up to its first zero byte, in a block holding exactly that.
class ExactText {
public:
    explicit ExactText(const std::string& text) : length_(strnlen(text.data(), text.size())), bytes_(new char[length_ + 1])
    {
        memcpy(bytes_.get(), text.data(), length_);
        bytes_[length_] = '\0';
    }
    const char* c_str() const { return bytes_.get(); }
    char* data() { return bytes_.get(); }
    size_t size() const { return length_; }

private:
    size_t length_;
    std::unique_ptr<char[]> bytes_;
};
