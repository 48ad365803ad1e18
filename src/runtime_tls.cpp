// The thread-local storage of the module's C++ runtime.
//
// On this target the compiler gives the runtime's thread-local variables (the exception state of
// each thread above all) no native TLS: every access calls __emutls_get_address. The toolchain's
// version of that function takes a TLS index at the first throw of each load and never gives it
// back, nor the blocks it keeps for threads other than the one that frees the module; a process
// that loads and frees the module a thousand times runs out of TLS indexes for every component it
// hosts. The module defines the function itself, which keeps the linker from taking the
// toolchain's: the index is taken when the module is loaded and given back when it is freed, a
// thread's block goes when the thread ends, and the blocks of threads still running go at unload.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime_tls.h"

namespace {

// The compiler's description of one thread-local variable; its layout is the compiler's.
struct EmulatedTlsVariable {
    size_t size;
    size_t align;
    union {
        uintptr_t number;  // 1, 2, ... in the order of first use; 0 until then
        void* unused;
    } loc;
    const void* initial;  // the first value, or null for zeros
};

// One thread's copies of the variables, by number - 1. Every block is also on the module's list,
// so that the unload can free the blocks of threads that never end while the module is loaded.
struct ThreadBlock {
    ThreadBlock* next;
    ThreadBlock* previous;
    size_t count;
    void* copies[1];
};

DWORD tlsIndex = TLS_OUT_OF_INDEXES;
SRWLOCK blocksLock = SRWLOCK_INIT;
ThreadBlock* blocks = nullptr;
uintptr_t variablesNumbered = 0;

// The runtime cannot go on without its thread's exception state, and unwinding needs it: with no
// memory left for it, the process ends as the toolchain's own version ends it.
void* HeapOrAbort(size_t bytes)
{
    void* memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (!memory)
        abort();
    return memory;
}

// A copy aligned as the variable asks; the heap's own address is kept in front of it.
void* NewCopy(const EmulatedTlsVariable* variable)
{
    const size_t align = variable->align > sizeof(void*) ? variable->align : sizeof(void*);
    char* raw = static_cast<char*>(HeapOrAbort(variable->size + align + sizeof(void*)));
    uintptr_t start = (reinterpret_cast<uintptr_t>(raw) + sizeof(void*) + align - 1) & ~(uintptr_t{align} - 1);
    void* copy = reinterpret_cast<void*>(start);
    static_cast<void**>(copy)[-1] = raw;
    if (variable->initial)
        memcpy(copy, variable->initial, variable->size);
    return copy;
}

void FreeCopy(void* copy)
{
    if (copy)
        HeapFree(GetProcessHeap(), 0, static_cast<void**>(copy)[-1]);
}

void Link(ThreadBlock* block)
{
    block->previous = nullptr;
    block->next = blocks;
    if (blocks)
        blocks->previous = block;
    blocks = block;
}

void Unlink(ThreadBlock* block)
{
    if (block->previous)
        block->previous->next = block->next;
    else
        blocks = block->next;
    if (block->next)
        block->next->previous = block->previous;
}

void FreeBlock(ThreadBlock* block)
{
    for (size_t i = 0; i < block->count; ++i)
        FreeCopy(block->copies[i]);
    HeapFree(GetProcessHeap(), 0, block);
}

uintptr_t NumberOf(EmulatedTlsVariable* variable)
{
    uintptr_t number = __atomic_load_n(&variable->loc.number, __ATOMIC_ACQUIRE);
    if (number)
        return number;
    AcquireSRWLockExclusive(&blocksLock);
    number = variable->loc.number;
    if (!number) {
        number = ++variablesNumbered;
        __atomic_store_n(&variable->loc.number, number, __ATOMIC_RELEASE);
    }
    ReleaseSRWLockExclusive(&blocksLock);
    return number;
}

// The thread's block with room for variable `number`, grown (and put in the old one's place on
// the list) when it has none yet.
ThreadBlock* BlockWithRoomFor(uintptr_t number)
{
    ThreadBlock* block = static_cast<ThreadBlock*>(TlsGetValue(tlsIndex));
    if (block && block->count >= number)
        return block;
    size_t count = block ? block->count * 2 : 8;
    if (count < number + 8)
        count = number + 8;
    ThreadBlock* grown = static_cast<ThreadBlock*>(HeapOrAbort(offsetof(ThreadBlock, copies) + count * sizeof(void*)));
    grown->count = count;
    AcquireSRWLockExclusive(&blocksLock);
    if (block) {
        memcpy(grown->copies, block->copies, block->count * sizeof(void*));
        Unlink(block);
    }
    Link(grown);
    ReleaseSRWLockExclusive(&blocksLock);
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    TlsSetValue(tlsIndex, grown);
    return grown;
}

}  // namespace

extern "C" void* __emutls_get_address(EmulatedTlsVariable* variable)
{
    const uintptr_t number = NumberOf(variable);
    ThreadBlock* block = BlockWithRoomFor(number);
    void*& copy = block->copies[number - 1];
    if (!copy)
        copy = NewCopy(variable);
    return copy;
}

bool StartRuntimeThreadStorage()
{
    tlsIndex = TlsAlloc();
    return tlsIndex != TLS_OUT_OF_INDEXES;
}

void EndThreadStorageOfThread()
{
    if (tlsIndex == TLS_OUT_OF_INDEXES)
        return;
    ThreadBlock* block = static_cast<ThreadBlock*>(TlsGetValue(tlsIndex));
    if (!block)
        return;
    TlsSetValue(tlsIndex, nullptr);
    AcquireSRWLockExclusive(&blocksLock);
    Unlink(block);
    ReleaseSRWLockExclusive(&blocksLock);
    FreeBlock(block);
}

void EndRuntimeThreadStorage()
{
    if (tlsIndex == TLS_OUT_OF_INDEXES)
        return;
    AcquireSRWLockExclusive(&blocksLock);
    ThreadBlock* all = blocks;
    blocks = nullptr;
    ReleaseSRWLockExclusive(&blocksLock);
    while (all) {
        ThreadBlock* next = all->next;
        FreeBlock(all);
        all = next;
    }
    TlsFree(tlsIndex);
    tlsIndex = TLS_OUT_OF_INDEXES;
}
