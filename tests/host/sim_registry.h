// An in-memory registry behind the ANSI registry functions, and a recorder behind
// RunCommandLine, for testing hostpin natively.
//
// Keys are named by full paths below "HKLM", compared without regard to case like the
// real registry. Subkeys enumerate in the order they were added. Any open, enumeration
// or value read can be made to fail with a chosen error code.
#pragma once

#include "platform.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

const DWORD SIM_REG_SZ = 1;
const DWORD SIM_REG_BINARY = 3;
const DWORD SIM_REG_DWORD = 4;
const DWORD SIM_REG_MULTI_SZ = 7;

// Empties the registry, the open-key bookkeeping and the command record.
void SimReset();

// Creates a key and any missing parents; a new key is enumerated after its earlier siblings.
void SimAddKey(const std::string& path);

void SimSetValue(const std::string& keyPath, const std::string& name, DWORD type,
                 const std::vector<BYTE>& data);
void SimSetString(const std::string& keyPath, const std::string& name, const std::string& text);
void SimSetMultiString(const std::string& keyPath, const std::string& name,
                       std::initializer_list<std::string> texts);
void SimSetDword(const std::string& keyPath, const std::string& name, uint32_t value);

// Makes RegOpenKeyExA of the key, RegQueryValueExA of the value, or RegEnumKeyExA of the
// key from the given index on, fail with the error code.
void SimRefuseOpen(const std::string& keyPath, LONG error);
void SimRefuseValue(const std::string& keyPath, const std::string& name, LONG error);
void SimFailEnumeration(const std::string& keyPath, DWORD fromIndex, LONG error);

// Keys currently open (opened and not yet closed).
int SimOpenKeyCount();
// Full paths of every key opened successfully, in order.
const std::vector<std::string>& SimOpenedKeys();

// Every command line handed to RunCommandLine, in order.
const std::vector<std::string>& SimCommands();
