#pragma once
// Whole writes to a file descriptor, through short writes and signals.
#include <cstddef>

bool WriteAll(int fd, const char* data, std::size_t size);
