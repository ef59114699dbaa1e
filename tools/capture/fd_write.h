// Plain writes to a file descriptor: a pipe to ffmpeg, a Y4M file or standard output.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes all of `bytes` to `fd`, going on after interruptions. False on a write error (errno
// tells which).
bool write_all(int fd, const std::uint8_t* bytes, std::size_t size);
