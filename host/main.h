// The program entry and the adapter report.
#pragma once

// Exactly one argument: runs it through the command interpreter. Otherwise: discovery,
// then the report. Returns 0 on every path.
int HostpinMain(int argc, char** argv);

// Writes nine lines to standard output for each adapter in the list.
void PrintAdapterReport();
