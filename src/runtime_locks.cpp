// The locks of the module's C++ runtime.
//
// The runtime's library code (the reserve for exceptions thrown when memory runs out, the guards
// of function-local statics) locks through these functions. The toolchain's versions make each
// lock a semaphore that they create at first use and that the runtime's static destructors may or
// may not close again: a module freed thousands of times in one process either leaves a handle
// behind at every unload or has to close handles it cannot be sure are its own. Here a lock is a
// slim reader/writer lock kept inside the runtime's own lock record: no kernel object, nothing to
// close, nothing left behind. Defining every function of the toolchain's set keeps its object out
// of the link; should a later runtime need one not defined here, the link fails on the duplicate
// definitions instead of quietly bringing the semaphores back.
#include <windows.h>

#include <cerrno>

#include <bits/gthr.h>

#if !__GTHREAD_HIDE_WIN32API
#error "the module is built with the runtime of the win32 thread model"
#endif

static_assert(sizeof(SRWLOCK) == sizeof(void*), "a slim lock fits the runtime's lock record");

namespace {

PSRWLOCK SlimLock(void** slot) { return reinterpret_cast<PSRWLOCK>(slot); }

// Windows 7 and later; before, a try reports the lock as taken, which a try may always do.
BOOLEAN TryExclusive(PSRWLOCK lock)
{
    using TryFn = BOOLEAN(WINAPI*)(PSRWLOCK);
    const TryFn tryAcquire = reinterpret_cast<TryFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "TryAcquireSRWLockExclusive")));
    return tryAcquire && tryAcquire(lock);
}

}  // namespace

extern "C" {

// Runs `function` once; a second caller waits for the first to finish, as the toolchain's does.
int __gthr_win32_once(__gthread_once_t* once, void (*function)(void))
{
    if (!once || !function)
        return EINVAL;
    if (__atomic_load_n(&once->done, __ATOMIC_ACQUIRE))
        return 0;
    if (InterlockedIncrement(&once->started) == 0) {
        function();
        __atomic_store_n(&once->done, TRUE, __ATOMIC_RELEASE);
    } else {
        while (!__atomic_load_n(&once->done, __ATOMIC_ACQUIRE))
            Sleep(0);
    }
    return 0;
}

void __gthr_win32_mutex_init_function(__gthread_mutex_t* mutex)
{
    mutex->counter = -1;
    mutex->sema = nullptr;  // SRWLOCK_INIT
}

void __gthr_win32_mutex_destroy(__gthread_mutex_t*) {}

int __gthr_win32_mutex_lock(__gthread_mutex_t* mutex)
{
    AcquireSRWLockExclusive(SlimLock(&mutex->sema));
    return 0;
}

int __gthr_win32_mutex_trylock(__gthread_mutex_t* mutex)
{
    return TryExclusive(SlimLock(&mutex->sema)) ? 0 : EBUSY;
}

int __gthr_win32_mutex_unlock(__gthread_mutex_t* mutex)
{
    ReleaseSRWLockExclusive(SlimLock(&mutex->sema));
    return 0;
}

// A recursive lock: the slim lock, its owner's thread id and the depth of the owner's locks. Only
// the owner writes its own id, so a thread that reads its own id there holds the lock.
void __gthr_win32_recursive_mutex_init_function(__gthread_recursive_mutex_t* mutex)
{
    mutex->counter = -1;
    mutex->depth = 0;
    mutex->owner = 0;
    mutex->sema = nullptr;
}

int __gthr_win32_recursive_mutex_destroy(__gthread_recursive_mutex_t*) { return 0; }

int __gthr_win32_recursive_mutex_lock(__gthread_recursive_mutex_t* mutex)
{
    const unsigned long self = GetCurrentThreadId();
    if (__atomic_load_n(&mutex->owner, __ATOMIC_RELAXED) != self) {
        AcquireSRWLockExclusive(SlimLock(&mutex->sema));
        __atomic_store_n(&mutex->owner, self, __ATOMIC_RELAXED);
    }
    ++mutex->depth;
    return 0;
}

int __gthr_win32_recursive_mutex_trylock(__gthread_recursive_mutex_t* mutex)
{
    const unsigned long self = GetCurrentThreadId();
    if (__atomic_load_n(&mutex->owner, __ATOMIC_RELAXED) != self) {
        if (!TryExclusive(SlimLock(&mutex->sema)))
            return EBUSY;
        __atomic_store_n(&mutex->owner, self, __ATOMIC_RELAXED);
    }
    ++mutex->depth;
    return 0;
}

int __gthr_win32_recursive_mutex_unlock(__gthread_recursive_mutex_t* mutex)
{
    if (--mutex->depth == 0) {
        __atomic_store_n(&mutex->owner, 0ul, __ATOMIC_RELAXED);
        ReleaseSRWLockExclusive(SlimLock(&mutex->sema));
    }
    return 0;
}

}  // extern "C"
