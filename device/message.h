// Messages on standard output that must be seen at once, even if the tool dies right
// after: every one is flushed as soon as it is written. "%m" stands for the current errno.
#pragma once

#include <cstdarg>
#include <cstdio>

__attribute__((format(printf, 1, 2))) inline void print_now(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fflush(stdout);
}
