#include "heap_failures.h"

#include <gtest/gtest.h>

#include <cstdlib>

HeapFailures* HeapFailures::current_ = nullptr;

namespace {

// Kept past the stand-in's life: a request that reaches the stand-in while its hook is being taken
// away still gets memory.
decltype(&malloc) realMalloc = &malloc;

}  // namespace

HeapFailures::HeapFailures(HMODULE module)
    : hook_(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&HeapFailures::Allocate))
{
    EXPECT_TRUE(hook_.ok());
    if (hook_.original())
        realMalloc = reinterpret_cast<decltype(&malloc)>(hook_.original());
    current_ = this;
}

HeapFailures::~HeapFailures() { current_ = nullptr; }

void HeapFailures::RefuseFrom(size_t bytes)
{
    smallest_ = bytes;
    largest_ = static_cast<size_t>(-1);
    thread_ = GetCurrentThreadId();
}

void HeapFailures::RefuseExactly(size_t bytes)
{
    smallest_ = largest_ = bytes;
    thread_ = GetCurrentThreadId();
}

void HeapFailures::Disarm() { thread_ = 0; }

void* HeapFailures::Allocate(size_t bytes)
{
    HeapFailures* self = current_;
    if (self && self->thread_ == GetCurrentThreadId() && bytes >= self->smallest_ && bytes <= self->largest_) {
        ++self->failed_;
        return nullptr;
    }
    return realMalloc(bytes);
}
