// A simulated MTD partition behind the flash seam, behaving like flash: programming only
// clears bits, only an erase sets a block to 0xFF, bad blocks are reported and cannot be
// erased, and any single request can be made to fail with a chosen errno.
#pragma once

#include <mtd/mtd-user.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

enum class SimOp { Open, GetInfo, GetBadBlock, Erase, Lseek, Read, Write, Close };

// Makes the nth request (1-based) of one kind fail: with error as errno and -1, or, for
// reads and writes with a short count of 0 or more, transfer only that many bytes.
struct SimFault {
    SimOp op;
    int nth;
    int error;
    long shortCount = -1;
};

struct SimFlash {
    uint8_t type = MTD_NANDFLASH;
    uint32_t size = 0;
    uint32_t erasesize = 0;
    uint32_t writesize = 0;
    std::vector<unsigned char> bytes;      // the partition's contents
    std::set<uint32_t> badBlocks;          // erase-block numbers reported bad
    std::set<uint32_t> badAfterErase;      // blocks that turn bad when erased
    std::vector<SimFault> faults;
    std::vector<std::string> log;          // every request, in order
    std::string path = "/dev/mtd2";        // the only path that opens
    int fd = 3;
    int openFlags = -1;
    bool isOpen = false;
    uint64_t position = 0;
};

extern SimFlash sim;

// A fresh partition of the given type and geometry, erased (all 0xFF), nothing logged.
void SimReset(uint8_t type, uint32_t size, uint32_t erasesize, uint32_t writesize);
// Puts bytes at offset as they would be after an erase and a program.
void SimPut(uint32_t offset, const void* data, size_t length);
