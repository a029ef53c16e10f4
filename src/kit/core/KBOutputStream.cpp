#include "kit/core/KBOutputStream.h"

#include <unistd.h>

#include <cerrno>

size_t KBFileDescriptorOutputStream::write(const void* bytes, size_t length)
{
    size_t written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd_, static_cast<const char*>(bytes) + written, length - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<size_t>(n);
    }
    return written;
}
