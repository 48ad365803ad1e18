#include "settings/profile_cache.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/text.h"

namespace {

// Enough for the string file and every driver's capability files many times over; past it the
// memory starts again, so a process that meets endless files does not grow without end.
const size_t MostRemembered = 4096;
const ULONGLONG FreshFileTicks = 2ull * 10000000ull;  // two seconds in file-time units

struct FileState {
    ULONGLONG written = 0;
    ULONGLONG size = 0;
    bool exists = false;
};

bool operator==(const FileState& a, const FileState& b)
{
    return a.written == b.written && a.size == b.size && a.exists == b.exists;
}

struct Remembered {
    FileState state;
    std::string value;  // as read into a buffer of the remembered size
};

class Memory {
public:
    bool Find(const std::string& key, const FileState& state, char* buffer, DWORD size)
    {
        AcquireSRWLockShared(&lock_);
        auto found = entries_.find(key);
        bool hit = found != entries_.end() && found->second.state == state;
        if (hit)
            CopyCut(buffer, size, found->second.value.c_str());
        ReleaseSRWLockShared(&lock_);
        return hit;
    }
    // The value comes as the buffer it was read into and becomes a string only here: a read whose
    // answer cannot be remembered still answers.
    void Keep(const std::string& key, const FileState& state, const char* value)
    {
        AcquireSRWLockExclusive(&lock_);
        try {
            if (entries_.size() >= MostRemembered)
                entries_.clear();
            entries_[key] = Remembered{state, value};
        } catch (...) {
            // Without memory the next read asks the file again.
        }
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::unordered_map<std::string, Remembered> entries_;
};

// The remembered reads, made at the first read and given back only when the module is unloaded.
// Never destroyed at process exit: another thread may have been stopped there inside them.
void* volatile Remembering = nullptr;

Memory* TheMemory()
{
    if (void* current = InterlockedCompareExchangePointer(&Remembering, nullptr, nullptr))
        return static_cast<Memory*>(current);
    Memory* fresh = new (std::nothrow) Memory();
    if (!fresh)
        return nullptr;
    void* earlier = InterlockedCompareExchangePointer(&Remembering, fresh, nullptr);
    if (!earlier)
        return fresh;
    delete fresh;
    return static_cast<Memory*>(earlier);
}

ULONGLONG AsTicks(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The file's state, and whether a read of it may be remembered.
bool StateOf(const char* file, FileState* state)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(file, GetFileExInfoStandard, &data))
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    state->exists = true;
    state->written = AsTicks(data.ftLastWriteTime);
    state->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return AsTicks(now) >= state->written + FreshFileTicks;
}

std::string MemoryKey(const char* file, const char* section, const char* key, const char* fallback, DWORD size)
{
    std::string name;
    for (const char* part : {file, section, key, fallback ? fallback : ""}) {
        name += part;
        name += '\0';
    }
    name += std::to_string(size);
    return name;
}

}  // namespace

std::string ProfileFileLocation(const char* file)
{
    if (!file || !file[0])
        return {};
    char path[PathChars] = {};
    const bool driveNamed = ((file[0] | 0x20) >= 'a' && (file[0] | 0x20) <= 'z') && file[1] == ':';
    if (!strchr(file, '\\') && !strchr(file, '/') && !driveNamed) {
        char windows[PathChars] = {};
        const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
        if (length == 0 || length >= sizeof windows || !ComposePath(path, {windows, "\\", file}))
            return {};
        return path;
    }
    const DWORD length = GetFullPathNameA(file, sizeof path, path, nullptr);
    return length > 0 && length < sizeof path ? path : std::string();
}

DWORD ReadProfileTextRemembered(const char* file, const char* section, const char* key, const char* fallback,
                                char* buffer, DWORD size)
{
    if (!buffer || size == 0 || !file || !file[0] || !section || !key)
        return ReadProfileText(file, section, key, fallback, buffer, size);
    // Remembered by the file the profile functions open, which is also the file read here: a
    // bare name is the Windows directory's, whatever the current directory holds.
    std::string path, name;
    try {
        path = ProfileFileLocation(file);
        name = MemoryKey(path.c_str(), section, key, fallback, size);
    } catch (...) {
        return ReadProfileText(file, section, key, fallback, buffer, size);
    }
    Memory* memory = TheMemory();
    FileState state;
    if (path.empty() || !memory || !StateOf(path.c_str(), &state))
        return ReadProfileText(file, section, key, fallback, buffer, size);
    if (memory->Find(name, state, buffer, size))
        return static_cast<DWORD>(strlen(buffer));
    DWORD length = ReadProfileText(path.c_str(), section, key, fallback, buffer, size);
    // Only what was read from the file as it still stands is kept.
    FileState after;
    if (StateOf(path.c_str(), &after) && after == state)
        memory->Keep(name, state, buffer);
    return length;
}

DWORD ReadProfileNumberRemembered(const char* file, const char* section, const char* key, DWORD fallback)
{
    char text[TextChars] = {};
    if (ReadProfileTextRemembered(file, section, key, "", text, sizeof text) == 0)
        return fallback;
    return ParseDecimal(text);
}

void ReleaseRememberedReads()
{
    delete static_cast<Memory*>(InterlockedExchangePointer(&Remembering, nullptr));
}
