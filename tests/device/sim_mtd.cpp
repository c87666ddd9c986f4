#include "sim_mtd.h"

#include "mtd_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

SimFlash sim;

namespace {

int counts[8];

// Counts the request and tells whether a fault is set for this occurrence.
const SimFault* fault_for(SimOp op)
{
    int n = ++counts[static_cast<int>(op)];
    for (const SimFault& f : sim.faults)
        if (f.op == op && f.nth == n)
            return &f;
    return nullptr;
}

// The length a read or write transfers: what the partition allows, cut down further by a
// short-count fault, which also leaves its errno behind.
size_t short_count(const SimFault* f, uint64_t allowed)
{
    size_t n = static_cast<size_t>(allowed);
    if (!f)
        return n;
    errno = f->error;
    return std::min(n, static_cast<size_t>(f->shortCount));
}

std::string hex(uint64_t value)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool fd_ok(int fd)
{
    if (sim.isOpen && fd == sim.fd)
        return true;
    errno = EBADF;
    return false;
}

bool is_nand()
{
    return sim.type == MTD_NANDFLASH;
}

} // namespace

void SimReset(uint8_t type, uint32_t size, uint32_t erasesize, uint32_t writesize)
{
    sim = SimFlash{};
    sim.type = type;
    sim.size = size;
    sim.erasesize = erasesize;
    sim.writesize = writesize;
    sim.bytes.assign(size, 0xFF);
    memset(counts, 0, sizeof(counts));
}

void SimPut(uint32_t offset, const void* data, size_t length)
{
    memcpy(sim.bytes.data() + offset, data, length);
}

int mtd_open(const char* path, int flags)
{
    sim.log.push_back("open");
    if (const SimFault* f = fault_for(SimOp::Open)) {
        errno = f->error;
        return -1;
    }
    if (sim.path != path) {
        errno = ENOENT;
        return -1;
    }
    sim.openFlags = flags;
    sim.isOpen = true;
    sim.position = 0;
    return sim.fd;
}

int mtd_close(int fd)
{
    sim.log.push_back("close");
    if (!fd_ok(fd))
        return -1;
    sim.isOpen = false;
    return 0;
}

off_t mtd_lseek(int fd, off_t offset, int whence)
{
    sim.log.push_back("lseek " + hex(static_cast<uint64_t>(offset)));
    if (const SimFault* f = fault_for(SimOp::Lseek)) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    // The MTD character device refuses a position past the end.
    if (whence != SEEK_SET || offset < 0 || static_cast<uint64_t>(offset) > sim.size) {
        errno = EINVAL;
        return -1;
    }
    sim.position = static_cast<uint64_t>(offset);
    return offset;
}

ssize_t mtd_read(int fd, void* buf, size_t count)
{
    sim.log.push_back("read " + std::to_string(count));
    const SimFault* f = fault_for(SimOp::Read);
    if (f && f->shortCount < 0) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    size_t n = short_count(f, std::min<uint64_t>(count, sim.size - sim.position));
    memcpy(buf, sim.bytes.data() + sim.position, n);
    sim.position += n;
    return static_cast<ssize_t>(n);
}

ssize_t mtd_write(int fd, const void* buf, size_t count)
{
    sim.log.push_back("write " + std::to_string(count));
    const SimFault* f = fault_for(SimOp::Write);
    if (f && f->shortCount < 0) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    // NAND programs whole pages only.
    if (is_nand() && (sim.position % sim.writesize != 0 || count % sim.writesize != 0)) {
        errno = EINVAL;
        return -1;
    }
    // As the MTD character device does: a write at the end fails, one across it is cut short.
    if (sim.position >= sim.size) {
        errno = ENOSPC;
        return -1;
    }
    size_t n = short_count(f, std::min<uint64_t>(count, sim.size - sim.position));
    // Programming can only clear bits.
    const unsigned char* src = static_cast<const unsigned char*>(buf);
    for (size_t i = 0; i < n; i++)
        sim.bytes[sim.position + i] &= src[i];
    sim.position += n;
    return static_cast<ssize_t>(n);
}

int mtd_get_info(int fd, mtd_info_user* info)
{
    sim.log.push_back("MEMGETINFO");
    if (const SimFault* f = fault_for(SimOp::GetInfo)) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    memset(info, 0, sizeof(*info));
    info->type = sim.type;
    info->size = sim.size;
    info->erasesize = sim.erasesize;
    info->writesize = sim.writesize;
    return 0;
}

int mtd_get_bad_block(int fd, int64_t offset)
{
    sim.log.push_back("MEMGETBADBLOCK " + hex(static_cast<uint64_t>(offset)));
    if (const SimFault* f = fault_for(SimOp::GetBadBlock)) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    if (offset < 0 || static_cast<uint64_t>(offset) >= sim.size) {
        errno = EINVAL;
        return -1;
    }
    if (sim.erasesize == 0)
        return 0;
    return sim.badBlocks.count(static_cast<uint32_t>(offset / sim.erasesize)) ? 1 : 0;
}

int mtd_erase(int fd, const erase_info_user* erase)
{
    sim.log.push_back("MEMERASE " + hex(erase->start) + "+" + hex(erase->length));
    if (const SimFault* f = fault_for(SimOp::Erase)) {
        errno = f->error;
        return -1;
    }
    if (!fd_ok(fd))
        return -1;
    uint64_t end = static_cast<uint64_t>(erase->start) + erase->length;
    if (sim.erasesize == 0 || erase->start % sim.erasesize != 0 || erase->length % sim.erasesize != 0 || end > sim.size) {
        errno = EINVAL;
        return -1;
    }
    for (uint32_t block = erase->start / sim.erasesize; block < end / sim.erasesize; block++) {
        if (sim.badBlocks.count(block)) {
            errno = EIO;
            return -1;
        }
        memset(sim.bytes.data() + static_cast<size_t>(block) * sim.erasesize, 0xFF, sim.erasesize);
        if (sim.badAfterErase.count(block))
            sim.badBlocks.insert(block);
    }
    return 0;
}
