// The boot environment block: a CRC-32 word followed by NUL-terminated name=value entries,
// ended by an empty string. Everything here works in place on a caller-owned block.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t ENV_SIZE = 4096;
constexpr size_t ENV_DATA_SIZE = ENV_SIZE - 4;
// A block buffer holds the block in its first ENV_SIZE bytes; the rest is room for the
// remainder of the last flash page a load reads.
constexpr size_t ENV_BUFFER_SIZE = 8192;

struct EnvBlock {
    uint32_t crc;               // crc32 seeded with 0 over data, little-endian
    char data[ENV_DATA_SIZE];   // name=value\0 ... \0
};
static_assert(sizeof(EnvBlock) == ENV_SIZE, "EnvBlock must be exactly one environment image");

constexpr int ENV_ERR_NO_ROOM = -14;

// Standard CRC-32 (IEEE 802.3, reflected), continued from crc (0 to start). A start that
// is not 4-byte aligned is refused with a message and 0xFFFFFFFF.
uint32_t crc32(uint32_t crc, const void* start, uint32_t count);
// Byte sum modulo 2^32, continued from sum; same alignment rule as crc32.
uint32_t sum32(uint32_t sum, const void* start, uint32_t count);

// 1 when entry ("name=value") is the variable called name, else 0.
int env_match(const char* entry, const char* name);
// Sets name to value (appended as the last entry), or deletes it when value is null.
// Returns 0, or ENV_ERR_NO_ROOM (after deleting any old entry) when the entry does not fit.
int env_set(EnvBlock* block, const char* name, const char* value);
// The first entry of name, or null. With a null name, prints every entry and returns null.
char* env_find(EnvBlock* block, const char* name);
// Zeroes the data area; the CRC word is left as it is.
int env_clear(EnvBlock* block);
