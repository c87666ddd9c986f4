// Flash storage: moves the environment block between a caller-owned buffer of
// ENV_BUFFER_SIZE bytes and an MTD partition (NOR, or NAND with bad blocks skipped).
#pragma once

#include "env.h"

constexpr int FLASH_ERR_IO = -14;

// Opens the partition and loads the block; returns the descriptor, or -1.
int env_open(const char* path, EnvBlock* block);
// Stores the block under a fresh CRC and closes the descriptor; 0, or -1 (left open).
int env_close(int fd, EnvBlock* block);
// Reads the block; a CRC mismatch empties its data area and still succeeds. 0 or -14.
int env_load(int fd, EnvBlock* block);
// Writes the block under a fresh CRC. 0 or -14.
int env_store(int fd, EnvBlock* block);
