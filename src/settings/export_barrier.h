// Exports are called by printer drivers, the spooler, the shell and rundll32, none of which
// expects a C++ exception: one that left an export would end the process that printed. Each export
// runs its work through this barrier and answers its failure value instead.
#pragma once

#include <windows.h>

#include <new>

#include "settings/module_state.h"

// What `work()` returns, or `failure` when it throws; the thread's last error then says why.
template <typename Result, typename Work>
Result AnswerOrFail(Result failure, Work work) noexcept
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INTERNAL_ERROR);
    }
    return failure;
}

// The barrier of an export: the module's settings are learnt first (by the first call of the
// load), then `work()` runs as in AnswerOrFail.
template <typename Result, typename Work>
Result ExportAnswer(Result failure, Work work) noexcept
{
    if (!EnsureModuleSettings()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failure;
    }
    return AnswerOrFail(failure, work);
}

// Callbacks the system calls (window and dialog procedures, enumeration, sort and property-sheet
// callbacks, COM methods) have no export above them: an exception that left one would unwind
// through user32, comctl32, shell32 or ole32 frames, which ends a 32-bit process. Each runs its
// body through this barrier and fails only that message or call. Unlike an export it leaves the
// thread's last error alone: the callback runs inside a call of someone else's, whose error it is.
template <typename Result, typename Work>
Result CallbackOrFail(Result failure, Work work) noexcept
{
    try {
        return work();
    } catch (...) {
    }
    return failure;
}
