// Precondition checks that stay active in every build type (NDEBUG or not).
#pragma once

[[noreturn]] void morvaneAssertFail(const char* condition, const char* source, unsigned line,
                                    const char* function);

// Prints the condition, `source` and the line the way the C library's assert
// does, then aborts.
#define MORVANE_CHECK(cond, source) \
    ((cond) ? static_cast<void>(0) : morvaneAssertFail(#cond, source, __LINE__, __func__))
