// Stands in for netsh in the Wine tests: appends its command line, exactly as it was
// started, to "netsh.log" in the current directory, and changes nothing.
#include <windows.h>

#include <cstdio>

int main() {
    FILE* log = fopen("netsh.log", "ab");
    if (!log) {
        return 1;
    }
    fprintf(log, "%s\n", GetCommandLineA());
    fclose(log);
    return 0;
}
