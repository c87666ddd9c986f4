#include "platform.h"

#include <cstdlib>

void RunCommandLine(const char* commandLine) {
    int status = system(commandLine);
    (void)status;  // the command's outcome is never looked at
}
