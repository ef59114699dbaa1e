#include "tools/capture/fd_write.h"

#include <cerrno>
#include <unistd.h>

bool write_all(int fd, const std::uint8_t* bytes, std::size_t size) {
    const std::uint8_t* data = bytes;
    std::size_t left = size;
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}
