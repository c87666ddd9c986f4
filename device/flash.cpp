// Flash storage on an MTD partition.
//
// NOR: the block is the partition's first ENV_SIZE bytes. NOR programming can only clear
// bits, so the erase blocks under them are erased before every store.
// NAND: the block lies in the first good pages from offset 0; a load skips erase blocks
// reported bad, a store erases the first good block and writes the block at its start.
#include "flash.h"

#include "message.h"
#include "mtd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr uint64_t NONE = UINT64_MAX;

unsigned char* bytes_of(EnvBlock* block)
{
    return reinterpret_cast<unsigned char*>(block);
}

void report_bad_geometry(const mtd_info_user& info)
{
    print_now("unsupported flash geometry,writesize:%u,erasesize:%u\n", info.writesize, info.erasesize);
}

// A zero page or erase size would make the NAND walks loop forever, and a page larger
// than the buffer would make a load write past it.
bool nand_geometry_ok(const mtd_info_user& info)
{
    if (info.writesize != 0 && info.writesize <= ENV_BUFFER_SIZE && info.erasesize != 0)
        return true;
    report_bad_geometry(info);
    return false;
}

bool seek_to(int fd, uint64_t offset)
{
    return mtd_lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void check_crc(EnvBlock* block)
{
    if (crc32(0, block->data, ENV_DATA_SIZE) == block->crc)
        return;
    print_now("failed to crc,clear all,%m\n");
    memset(block->data, 0, ENV_DATA_SIZE);
}

int load_nand(int fd, EnvBlock* block, const mtd_info_user& info)
{
    if (!nand_geometry_ok(info))
        return FLASH_ERR_IO;
    unsigned char* dest = bytes_of(block);
    uint32_t count = 0;
    uint64_t offset = 0;
    while (count < ENV_SIZE && offset < info.size) {
        // Only an answer of exactly 1 means bad; a failed query reads the page anyway.
        if (mtd_get_bad_block(fd, static_cast<int64_t>(offset)) == 1) {
            offset += info.erasesize;
            continue;
        }
        if (!seek_to(fd, offset)) {
            print_now("failed to lseek,%m\n");
            return FLASH_ERR_IO;
        }
        ssize_t got = mtd_read(fd, dest, info.writesize);
        if (got < 0) {
            print_now("failed to nand read,%m\n");
            return FLASH_ERR_IO;
        }
        if (static_cast<size_t>(got) != info.writesize)
            print_now("failed to read,%m\n");
        dest += info.writesize;
        count += info.writesize;
        offset += info.writesize;
    }
    return 0;
}

int load_nor(int fd, EnvBlock* block)
{
    if (!seek_to(fd, 0)) {
        print_now("failed to lseek,%m\n");
        return FLASH_ERR_IO;
    }
    if (mtd_read(fd, block, ENV_SIZE) != static_cast<ssize_t>(ENV_SIZE)) {
        print_now("failed to nor read,%m\n");
        return FLASH_ERR_IO;
    }
    return 0;
}

// MEMGETBADBLOCK during a store: 1 bad, 0 good, negative when the query failed.
int store_bad_block_state(int fd, uint64_t offset)
{
    int state = mtd_get_bad_block(fd, static_cast<int64_t>(offset));
    if (state < 0)
        print_now("failed to MEMGETBADBLOCK,%m\n");
    return state < 0 ? -1 : state > 0;
}

int store_nand(int fd, EnvBlock* block, const mtd_info_user& info)
{
    if (!nand_geometry_ok(info))
        return FLASH_ERR_IO;
    const unsigned char* src = bytes_of(block);
    uint32_t remaining = ENV_SIZE;
    erase_info_user erase{};
    erase.length = info.erasesize;
    // A load reads every block that is not reported bad. A good block passed over because
    // its erase or seek failed still lies in front of the image, so a store behind it
    // would not be found again.
    uint64_t passed_over = NONE;
    for (uint64_t offset = 0; remaining != 0 && offset < info.size; offset += info.erasesize) {
        int state = store_bad_block_state(fd, offset);
        if (state < 0)
            return FLASH_ERR_IO;
        if (state > 0) {
            print_now("Skipping bad block at 0x%08x\n", static_cast<unsigned>(offset));
            continue;
        }
        erase.start = static_cast<uint32_t>(offset);
        if (mtd_erase(fd, &erase) < 0) {
            print_now("MTD Erase failure: %m\n");
            passed_over = passed_over == NONE ? offset : passed_over;
            continue;
        }
        state = store_bad_block_state(fd, offset);
        if (state < 0)
            return FLASH_ERR_IO;
        if (state > 0) {
            print_now("Skipping bad block at 0x%08x,while erase...\n", static_cast<unsigned>(offset));
            continue;
        }
        if (!seek_to(fd, offset)) {
            print_now("failed to lseek,%m\n");
            passed_over = passed_over == NONE ? offset : passed_over;
            continue;
        }
        uint32_t length = remaining < info.erasesize ? remaining : info.erasesize;
        if (mtd_write(fd, src, length) != static_cast<ssize_t>(length)) {
            print_now("failed to nand write,%m\n");
            return FLASH_ERR_IO;
        }
        src += length;
        remaining -= length;
    }
    // Running out of partition before the whole block is written is a failed store.
    if (remaining != 0) {
        print_now("no good block left for env,%u bytes not written\n", remaining);
        return FLASH_ERR_IO;
    }
    if (passed_over != NONE) {
        print_now("env stored behind block 0x%08x, which a load reads first\n", static_cast<unsigned>(passed_over));
        return FLASH_ERR_IO;
    }
    return 0;
}

int store_nor(int fd, EnvBlock* block, const mtd_info_user& info)
{
    if (info.erasesize == 0) {
        report_bad_geometry(info);
        return FLASH_ERR_IO;
    }
    // Writing over an earlier block without an erase would store old AND new.
    erase_info_user erase{};
    erase.start = 0;
    erase.length = static_cast<uint32_t>((ENV_SIZE + info.erasesize - 1) / info.erasesize * info.erasesize);
    if (mtd_erase(fd, &erase) < 0) {
        print_now("MTD Erase failure: %m\n");
        return FLASH_ERR_IO;
    }
    if (!seek_to(fd, 0)) {
        print_now("failed to lseek,%m\n");
        return FLASH_ERR_IO;
    }
    if (mtd_write(fd, block, ENV_SIZE) != static_cast<ssize_t>(ENV_SIZE)) {
        print_now("failed to nor write,%m\n");
        return FLASH_ERR_IO;
    }
    return 0;
}

} // namespace

int env_load(int fd, EnvBlock* block)
{
    mtd_info_user info{};
    if (mtd_get_info(fd, &info) < 0) {
        print_now("ioctl MEMGETINFO failed,%m\n");
        return FLASH_ERR_IO;
    }
    int result;
    if (info.type == MTD_NANDFLASH)
        result = load_nand(fd, block, info);
    else if (info.type == MTD_NORFLASH)
        result = load_nor(fd, block);
    else {
        print_now("unsupported flash:%d\n", info.type);
        return FLASH_ERR_IO;
    }
    if (result < 0)
        return result;
    check_crc(block);
    return 0;
}

int env_store(int fd, EnvBlock* block)
{
    mtd_info_user info{};
    if (mtd_get_info(fd, &info) < 0) {
        print_now("failed to info mtd,%m");
        return FLASH_ERR_IO;
    }
    block->crc = crc32(0, block->data, ENV_DATA_SIZE);
    if (info.type == MTD_NANDFLASH)
        return store_nand(fd, block, info);
    if (info.type == MTD_NORFLASH)
        return store_nor(fd, block, info);
    print_now("unsupported flash:%d\n", info.type);
    return FLASH_ERR_IO;
}

int env_open(const char* path, EnvBlock* block)
{
    int fd = mtd_open(path, O_RDWR | O_SYNC);
    if (fd < 0) {
        print_now("failed to open mtd,%m,%s\n", path);
        return -1;
    }
    if (env_load(fd, block) < 0) {
        print_now("failed to init env,%m,%s\n", path);
        mtd_close(fd);
        return -1;
    }
    return fd;
}

int env_close(int fd, EnvBlock* block)
{
    if (env_store(fd, block) < 0) {
        print_now("failed to save env,%m,%d\n", fd);
        return -1;
    }
    mtd_close(fd);
    return 0;
}
