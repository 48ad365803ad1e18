// The entry dialogs' input filters as pure text functions: the kept text of `text` (at most `limit`
// bytes) into `result` of DialogTextChars bytes; the return value is the kept length.
#pragma once

#include <cstddef>

#include "settings/code_page.h"

enum : int { DialogTextChars = 256 };

// Printable text and tabs without double quotes; double-byte characters and half-width symbols
// by `codePage`'s tables.
size_t FilterName(const char* text, size_t limit, char* result, const CodePageTraits& codePage);
size_t FilterDigits(const char* text, size_t limit, char* result);
