// The real flash device: thin wrappers over the system calls.
#include "mtd_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int mtd_open(const char* path, int flags) { return open(path, flags); }

off_t mtd_lseek(int fd, off_t offset, int whence) { return lseek(fd, offset, whence); }

ssize_t mtd_read(int fd, void* buf, size_t count) { return read(fd, buf, count); }

ssize_t mtd_write(int fd, const void* buf, size_t count) { return write(fd, buf, count); }

int mtd_close(int fd) { return close(fd); }

int mtd_get_info(int fd, mtd_info_user* info) { return ioctl(fd, MEMGETINFO, info); }

int mtd_get_bad_block(int fd, int64_t offset)
{
    loff_t where = offset;
    return ioctl(fd, MEMGETBADBLOCK, &where);
}

int mtd_erase(int fd, const erase_info_user* erase)
{
    erase_info_user request = *erase;
    return ioctl(fd, MEMERASE, &request);
}
