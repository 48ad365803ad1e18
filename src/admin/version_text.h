// The version box's text, as far as it is shaped from the string file's words alone.
#pragma once

#include <cstddef>

// Appends `copyright` to the text in `buffer` (`size` bytes, at least 1), each "/" starting a new
// line and a blank after a "/" staying at the end of the line before: "A/B/ C" becomes the lines
// "A", "B " and "C". Cut so that the whole stays within `size` bytes.
void AppendCopyrightLines(char* buffer, size_t size, const char* copyright);
