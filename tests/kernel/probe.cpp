// Asks the kernel's MTD character device on /dev/mtd2 the questions that addrstamp's flash
// code and its simulated flash depend on: what MEMGETINFO and MEMGETBADBLOCK return, which
// erases, seeks, writes and reads the driver refuses and with which errno, and what a second
// program without an erase leaves. Prints one line per question for the host to check:
//   @@ PROBE <nand|nor> <question> result=<value> errno=<name>
// NAND: run on nandsim with the partition's first erase block bad, after the tool's runs;
// it writes only from the fifth erase block on, and into the bad block. NOR: writes only in
// the second half of the partition.
#include <mtd/mtd-user.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char* errno_name(int e)
{
    switch (e) {
    case 0: return "0";
    case EINVAL: return "EINVAL";
    case EIO: return "EIO";
    case ENOSPC: return "ENOSPC";
    case EROFS: return "EROFS";
    case EPERM: return "EPERM";
    case EFAULT: return "EFAULT";
    case EOPNOTSUPP: return "EOPNOTSUPP";
    case EBADMSG: return "EBADMSG";
    case EUCLEAN: return "EUCLEAN";
    default: return "other";
    }
}

const char* kind = "?";

void report(const char* question, long long result, int error)
{
    std::printf("@@ PROBE %s %s result=%lld errno=%s\n", kind, question, result,
                result < 0 ? errno_name(error) : "0");
}

void bad_block(int fd, const char* question, long long offset)
{
    errno = 0;
    long long at = offset; // the kernel reads a 64-bit offset
    int r = ioctl(fd, MEMGETBADBLOCK, &at);
    report(question, r, errno);
}

void erase(int fd, const char* question, unsigned start, unsigned length)
{
    erase_info_user e{};
    e.start = start;
    e.length = length;
    errno = 0;
    int r = ioctl(fd, MEMERASE, &e);
    report(question, r, errno);
}

void seek(int fd, const char* question, off_t offset)
{
    errno = 0;
    off_t r = lseek(fd, offset, SEEK_SET);
    report(question, r, errno);
}

// Seeks to offset (not reported) and writes count bytes of value.
void write_at(int fd, const char* question, off_t offset, size_t count, unsigned char value)
{
    static unsigned char buf[1 << 18];
    std::memset(buf, value, count);
    if (lseek(fd, offset, SEEK_SET) != offset) {
        report(question, -1000, errno);
        return;
    }
    errno = 0;
    ssize_t r = write(fd, buf, count);
    report(question, r, errno);
}

ssize_t read_at(int fd, off_t offset, void* buf, size_t count)
{
    if (lseek(fd, offset, SEEK_SET) != offset)
        return -1000;
    errno = 0;
    return read(fd, buf, count);
}

void probe_nand(int fd, const mtd_info_user& info)
{
    const unsigned eb = info.erasesize, page = info.writesize, size = info.size;
    const unsigned free_block = 4 * eb;
    bad_block(fd, "badblock_first_block", 0);
    bad_block(fd, "badblock_inside_bad_block", 100);
    bad_block(fd, "badblock_good_block", eb);
    bad_block(fd, "badblock_at_end", size);
    erase(fd, "erase_bad_block", 0, eb);
    erase(fd, "erase_from_bad_block_on", 0, 2 * eb);
    erase(fd, "erase_unaligned_start", free_block + page, eb);
    erase(fd, "erase_partial_block", free_block, page);
    erase(fd, "erase_past_end", size - eb, 2 * eb);
    erase(fd, "erase_good_block", free_block, eb);
    seek(fd, "lseek_to_end", size);
    seek(fd, "lseek_past_end", static_cast<off_t>(size) + 1);
    write_at(fd, "write_unaligned_offset", free_block + 100, page, 0x00);
    write_at(fd, "write_partial_page", free_block, 100, 0x00);
    write_at(fd, "write_two_pages", free_block, 2 * page, 0x5A);
    write_at(fd, "write_one_erase_block", free_block + eb, eb, 0x5A);
    write_at(fd, "write_across_end", size - page, 2 * page, 0x5A);
    write_at(fd, "write_at_end", size, page, 0x5A);
    write_at(fd, "write_into_bad_block", 0, page, 0x5A);

    static unsigned char buf[1 << 16];
    ssize_t r = read_at(fd, size - page, buf, 2 * page);
    report("read_across_end", r, errno);
    r = read_at(fd, size, buf, page);
    report("read_at_end", r, errno);
    r = read_at(fd, free_block + 10, buf, 100);
    report("read_unaligned", r, errno);
    r = read_at(fd, free_block, buf, page);
    report("read_back_written_page", r == static_cast<ssize_t>(page) ? buf[0] : r, errno);
}

void probe_nor(int fd, const mtd_info_user& info)
{
    const unsigned eb = info.erasesize, size = info.size;
    const unsigned area = size / 2;
    bad_block(fd, "badblock_first_block", 0);
    bad_block(fd, "badblock_at_end", size);
    erase(fd, "erase_good_block", area, eb);
    erase(fd, "erase_unaligned_start", area + 1, eb);
    erase(fd, "erase_partial_block", area, 100);
    erase(fd, "erase_past_end", size - eb, 2 * eb);
    erase(fd, "erase_again", area, eb);
    seek(fd, "lseek_to_end", size);
    seek(fd, "lseek_past_end", static_cast<off_t>(size) + 1);
    write_at(fd, "write_unaligned", area + 5, 10, 0xF0);
    write_at(fd, "write_same_bytes_again", area + 5, 10, 0x3C);
    unsigned char b[32] = {};
    ssize_t r = read_at(fd, area + 5, b, 10);
    report("read_after_second_write", r == 10 ? b[0] : r, errno);
    write_at(fd, "write_across_end", size - 10, 100, 0x00);
    write_at(fd, "write_at_end", size, 1, 0x00);
    r = read_at(fd, size - 10, b, 20);
    report("read_across_end", r, errno);
    erase(fd, "erase_last_block", size - eb, eb);
}

} // namespace

int main()
{
    int fd = open("/dev/mtd2", O_RDWR | O_SYNC);
    if (fd < 0) {
        std::printf("@@ ERROR probe: cannot open /dev/mtd2: %s\n", std::strerror(errno));
        return 1;
    }
    mtd_info_user info{};
    if (ioctl(fd, MEMGETINFO, &info) < 0) {
        std::printf("@@ ERROR probe: MEMGETINFO: %s\n", std::strerror(errno));
        return 1;
    }
    kind = info.type == MTD_NANDFLASH ? "nand" : info.type == MTD_NORFLASH ? "nor" : "other";
    report("memgetinfo_type", info.type, 0);
    report("memgetinfo_writesize", info.writesize, 0);
    if (info.type == MTD_NANDFLASH)
        probe_nand(fd, info);
    else if (info.type == MTD_NORFLASH)
        probe_nor(fd, info);
    close(fd);
    return 0;
}
