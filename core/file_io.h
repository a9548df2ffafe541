#pragma once
// File helpers: whole writes to a file descriptor, through short writes and
// signals; room reserved ahead; whether a path names a file already open.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

bool WriteAll(int fd, const char* data, std::size_t size);

// Reserves room for the first `size` bytes of a file about to be written,
// leaving its length as it is. The file system then allocates in one step
// rather than on every write (several times cheaper on ext4 for a gigabyte),
// and a disk without room for the whole file shows before anything is
// written. False only when the disk (or quota) has no room; a file system
// that cannot reserve simply allocates as the writes come.
bool ReserveSpace(int fd, off_t size);

// True when `path` names the file whose status is `open` (same device and
// inode), whatever links or "." and ".." lead there.
bool SameFile(const struct stat& open, const std::string& path);
