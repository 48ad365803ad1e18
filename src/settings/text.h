// Bounded copies into fixed character buffers: texts are cut to fit, paths fit whole or fail.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>

// Copies `source` into `dest` of `size` bytes, cut to fit and always terminated.
inline void CopyCut(char* dest, size_t size, const char* source)
{
    if (size == 0)
        return;
    size_t length = source ? strnlen(source, size - 1) : 0;
    memmove(dest, source, length);
    dest[length] = '\0';
}

// Appends `source` to the text in `dest`, cut so that the whole stays within `size` bytes.
inline void AppendCut(char* dest, size_t size, const char* source)
{
    if (size == 0)
        return;
    size_t used = strnlen(dest, size - 1);
    CopyCut(dest + used, size - used, source);
}

// Joins `parts` into `dest` of `size` bytes. A file name cut to fit would name another file, so a
// whole that does not fit is a failure: false, and `dest` is left empty.
inline bool ComposePath(char* dest, size_t size, std::initializer_list<const char*> parts)
{
    if (size == 0)
        return false;
    size_t used = 0;
    for (const char* part : parts) {
        size_t length = part ? strlen(part) : 0;
        if (length >= size - used) {
            dest[0] = '\0';
            return false;
        }
        memmove(dest + used, part, length);
        used += length;
    }
    dest[used] = '\0';
    return true;
}

// Copies the directory part of `path`, up to and including its last backslash; empty without one.
// False (and empty) when that directory does not fit.
inline bool CopyDirectoryPart(char* dest, size_t size, const char* path)
{
    if (size == 0)
        return false;
    dest[0] = '\0';
    const char* slash = path ? strrchr(path, '\\') : nullptr;
    if (!slash)
        return true;
    size_t length = static_cast<size_t>(slash - path) + 1;
    if (length >= size)
        return false;
    memmove(dest, path, length);
    dest[length] = '\0';
    return true;
}

template <size_t N>
bool CopyDirectoryPart(char (&dest)[N], const char* path) { return CopyDirectoryPart(dest, N, path); }

template <size_t N>
bool ComposePath(char (&dest)[N], std::initializer_list<const char*> parts) { return ComposePath(dest, N, parts); }

template <size_t N>
void CopyCut(char (&dest)[N], const char* source) { CopyCut(dest, N, source); }

template <size_t N>
void AppendCut(char (&dest)[N], const char* source) { AppendCut(dest, N, source); }

// Case-insensitive comparison in the ANSI code page.
bool EqualNoCase(const char* a, const char* b);

// The text in upper case as the profile functions and the list view compare keys, for lookups
// that ignore case.
std::string UpperCaseKey(std::string text);
