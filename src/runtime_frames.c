/* The registration of the module's exception frames: the 32-bit build links this in place of the
   toolchain's crtbegin.o (CMakeLists.txt puts its folder first on the start-file path), so it is
   the first contribution to the module's frame tables and crtend.o's terminator the last.

   32-bit code unwinds by those tables, which must be registered with an unwinder before the first
   throw. The toolchain's crtbegin.o registers them with the shared libgcc DLL whenever the process
   already holds one (applications built with MinGW carry it), after loading that DLL again by its
   bare name; the module's own unwinder, linked into it, then searches an empty list and every throw
   of the module ends the process. Here the tables always go to the module's own unwinder.

   That unwinder guards its list with a semaphore that it creates at the registration and never
   closes. The module learns of it through its own import slot of CreateSemaphoreW, which nothing
   else in the module calls (its runtime's other locks are slim locks, runtime_locks.cpp), and
   closes it right after the deregistration, the last use of the lock: the deregistration was the
   first entry of the module's exit list, which runs backwards, so every other destructor of the
   module has run by then. */
#include <windows.h>

#include <stdlib.h>

#include "runtime_frames.h"

static const char frameTablesBegin[] __attribute__((used, section(".eh_frame"), aligned(4))) = {};

/* The unwinder's record of one registered table; larger than the unwinder's own. */
static struct {
    void* words[16];
} frameRecord;

void __register_frame_info(const void* begin, void* record);
void* __deregister_frame_info(const void* begin);

static HANDLE unwinderSemaphores[4];
static volatile LONG processEnding;

static HANDLE WINAPI CreateUnwinderSemaphore(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                             LPCWSTR name)
{
    HANDLE semaphore = CreateSemaphoreExW(security, initial, maximum, name, 0, SEMAPHORE_ALL_ACCESS);
    for (size_t i = 0; semaphore && i < sizeof unwinderSemaphores / sizeof unwinderSemaphores[0]; ++i) {
        if (!InterlockedCompareExchangePointer(&unwinderSemaphores[i], semaphore, NULL))
            break;
    }
    return semaphore;
}

HANDLE(WINAPI* unwinderCreateSemaphore)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR)
    __asm__("__imp__CreateSemaphoreW@16") = CreateUnwinderSemaphore;

/* At process exit other threads were stopped wherever they were, perhaps holding the unwinder's
   lock: the tables are left as they are, as everything else is, and the process takes them. */
static void DeregisterFrames(void)
{
    if (processEnding)
        return;
    __deregister_frame_info(frameTablesBegin);
    for (size_t i = 0; i < sizeof unwinderSemaphores / sizeof unwinderSemaphores[0]; ++i) {
        HANDLE semaphore = InterlockedExchangePointer(&unwinderSemaphores[i], NULL);
        if (semaphore)
            CloseHandle(semaphore);
    }
}

/* Called by crtend.o's constructor, the first of the module's. */
void __gcc_register_frame(void)
{
    __register_frame_info(frameTablesBegin, &frameRecord);
    atexit(DeregisterFrames);
}

void NoteProcessEnding(void)
{
    processEnding = 1;
}
