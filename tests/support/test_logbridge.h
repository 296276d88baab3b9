// The test logger's own exports, besides GetILogbridge and FreeILogbridge. They are
// C functions because the test and the logger are separate modules.
#pragma once

#include <cstddef>

extern "C" {
// Receives one captured message: its level and expanded text (UTF-8, `length` bytes,
// also terminated by a NUL).
using TestLogbridgeMessageFn = void (*)(void* context, int level, const char* text, std::size_t length);
// TestLogbridge_Take(onMessage, context): hands each message captured since the last
// call to onMessage, oldest first, and forgets them (a null onMessage only forgets).
using TestLogbridgeTakeFn = void (*)(TestLogbridgeMessageFn onMessage, void* context);
// TestLogbridge_Counts(gets, frees): GetILogbridge calls, and references that
// FreeILogbridge released, since the module was loaded. Either pointer may be null.
using TestLogbridgeCountsFn = void (*)(int* gets, int* frees);
}
