// The stand-in for memory that runs out: the C runtime heap of a module (its malloc import, which
// the C++ runtime's operator new calls) refuses requests on the arming thread while armed, as an
// exhausted heap would; the module's containers then throw std::bad_alloc where they stand.
//
// A heap that cannot give a large store its block still has small ones, and the module needs
// them: the first exception a thread throws in it takes a small per-thread record from the heap,
// and the C++ runtime ends the process when even that fails. So the stand-in refuses requests from
// a size on, or of one size.
#pragma once

#include <windows.h>

#include <cstddef>

#include "iat_hook.h"

class HeapFailures {
public:
    // Requests of this size and more hold a store's rows, texts or keys; the runtime's records
    // stay below it.
    enum : size_t { LargeRequest = 64 };

    // `module`: the module whose allocations fail (null: the test program, with the module's code
    // linked in).
    explicit HeapFailures(HMODULE module);
    ~HeapFailures();
    HeapFailures(const HeapFailures&) = delete;
    HeapFailures& operator=(const HeapFailures&) = delete;

    bool ok() const { return hook_.ok(); }
    // From now on, this thread's requests of `bytes` bytes or more fail.
    void RefuseFrom(size_t bytes = LargeRequest);
    // From now on, this thread's requests of exactly `bytes` bytes fail.
    void RefuseExactly(size_t bytes);
    void Disarm();
    // How many requests failed so far.
    int Failed() const { return failed_; }

private:
    static void* Allocate(size_t bytes);

    static HeapFailures* current_;
    DWORD thread_ = 0;
    size_t smallest_ = 0;
    size_t largest_ = 0;
    int failed_ = 0;
    ImportHook hook_;
};
