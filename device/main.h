// The addrstamp command: entry and provisioning.
#pragma once

#include <cstddef>

// The address buffer: 17 characters of address text and room for its NUL.
constexpr size_t MAC_BUFFER_SIZE = 24;

// Adds one to the hexadecimal address in mac (colons between digits passed over), in
// place, from its 17th character down; mac must hold MAC_BUFFER_SIZE bytes.
void mac_increment(char* mac);
// Sets ethaddr and eth1addr on /dev/mtd2; 0 when all went well, -1 otherwise.
int provision_mac(const char* text);
// The whole command; returns the process exit status.
int addrstamp_main(int argc, char** argv);
