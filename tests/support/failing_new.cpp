#include "failing_new.h"

#include <new>
#include <utility>

namespace {
thread_local bool g_failNext = false;
}  // namespace

void hostlens::test::FailNextNothrowNew() {
    g_failNext = true;
}

// Through the throwing form, which the matching operator delete frees.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (std::exchange(g_failNext, false)) return nullptr;
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
