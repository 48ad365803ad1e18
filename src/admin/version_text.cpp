#include "admin/version_text.h"

#include <cstring>

void AppendCopyrightLines(char* buffer, size_t size, const char* copyright)
{
    size_t used = strnlen(buffer, size - 1);
    for (const char* c = copyright; *c && used + 1 < size; ++c) {
        if (*c != '/') {
            buffer[used++] = *c;
            continue;
        }
        if (c[1] == ' ') {
            buffer[used++] = ' ';
            ++c;
            if (used + 1 >= size)
                break;
        }
        buffer[used++] = '\n';
    }
    buffer[used] = '\0';
}
