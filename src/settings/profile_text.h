// Reading a key straight from the text of a settings file, for the few places that read many keys
// at once where a call of the profile functions a key costs too much. Only what is plain in the
// text is answered here; anything the profile functions could read otherwise is left to them.
#pragma once

#include <string>

enum class ProfileAnswer {
    Value,   // the key's line is plain: `value` is what the profile functions read
    Absent,  // the section holds no such key (or is missing): they read the fallback
    Unsure,  // anything else: ask the profile functions
};

// The value of `key` in the first `section` of `text`, the names compared without regard to ASCII
// case. Plain means: no byte-order mark and no control byte but the tab and line ends (a carriage
// return only before a line feed) in the text, no line that starts or ends with a byte past ASCII
// or holds one right before its "=", no header with a second "]", the section header once and
// unambiguous, the key's first line "key=value" with a value of printable ASCII that starts and
// ends with no quote, and no line that could be the key without "=".
ProfileAnswer FindPlainProfileValue(const std::string& text, const char* section, const char* key,
                                    std::string* value);
