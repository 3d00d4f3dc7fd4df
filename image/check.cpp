#include "image/check.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

void morvaneAssertFail(const char* condition, const char* source, unsigned line,
                       const char* function) {
    // Same shape as the C library's message, so it reads like any assertion.
    std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
                 source, line, function, condition);
    std::fflush(stderr);
    std::abort();
}
