// The fixed-address switch and the restore script, both run through the command interpreter.
#pragma once

#include "discovery.h"

#include <cstddef>
#include <string>

// Size of a command buffer, the terminating NUL included. A command whose texts need more
// gets a buffer of its own length instead, so no command is ever run truncated.
const size_t COMMAND_BUFFER_SIZE = 512;

// Runs netsh to give the adapter the fixed address 192.168.0.23/255.255.240.0, gateway 192.168.0.3.
void PinFixedAddress(const AdapterInfo& adapter);

// Has the command interpreter write "reserver.bat", which puts back the addressing recorded
// in the adapter. Does nothing when given no record.
void WriteRestoreScript(const AdapterInfo* adapter);

// The command lines the two operations run, composed from the record's texts as they are.
std::string SwitchCommand(const AdapterInfo& adapter);
std::string RestoreCommand(const AdapterInfo& adapter);
