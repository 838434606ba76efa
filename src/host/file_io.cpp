#include "host/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

ssize_t read_once(int fd, void *buffer, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

ssize_t write_once(int fd, const void *data, size_t size)
{
    ssize_t n;
    do
        n = write(fd, data, size);
    while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

HostFileResult host_file_read_head(const char *path, void *buffer, size_t size)
{
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {HostFileStep::open_failed, errno, -1};
    const ssize_t n = read_once(fd, buffer, size);
    const int read_error = n < 0 ? errno : 0;
    close(fd);
    if (n < 0)
        return {HostFileStep::io_failed, read_error, -1};
    return {HostFileStep::ok, 0, n};
}

HostFileResult host_file_write_whole(const char *path, const void *data, size_t size)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return {HostFileStep::open_failed, errno, -1};
    const ssize_t n = write_once(fd, data, size);
    int error = n < 0 ? errno : 0;
    bool ok = n >= 0 && static_cast<size_t>(n) == size;
    if (fsync(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    return {ok ? HostFileStep::ok : HostFileStep::io_failed, error, n};
}
