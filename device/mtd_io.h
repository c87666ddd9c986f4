// The flash device as addrstamp sees it: the POSIX calls and the three MTD requests it
// makes, as plain functions. The program links mtd_io_linux.cpp (the real system
// calls); the tests link a simulated MTD device in their place.
#pragma once

#include <mtd/mtd-user.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

int mtd_open(const char* path, int flags);
off_t mtd_lseek(int fd, off_t offset, int whence);
ssize_t mtd_read(int fd, void* buf, size_t count);
ssize_t mtd_write(int fd, const void* buf, size_t count);
int mtd_close(int fd);

// MEMGETINFO, MEMGETBADBLOCK and MEMERASE; each returns what ioctl returns.
int mtd_get_info(int fd, mtd_info_user* info);
int mtd_get_bad_block(int fd, int64_t offset);
int mtd_erase(int fd, const erase_info_user* erase);
