// Helpers shared by the addrstamp tests.
#pragma once

#include "env.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Text with '|' standing for a NUL byte, for writing data areas readably.
std::string Nul(const std::string& text);

// Runs f with standard output captured; returns what it wrote.
std::string Captured(const std::function<void()>& f);

// A CRC-32 written independently of the tool's table-driven one: bit by bit.
uint32_t ReferenceCrc32(const unsigned char* data, size_t length);

// A 4096-byte environment image: the entries (each "name=value") in order, the end
// marker, zeros, and a valid CRC word (little-endian) in front.
std::vector<unsigned char> EnvImage(const std::vector<std::string>& entries);

// The entries of an image's data area, in order, up to the end marker.
std::vector<std::string> EnvEntries(const unsigned char* image);

// True when the image's CRC word matches its data area (by the reference CRC).
bool EnvCrcValid(const unsigned char* image);
