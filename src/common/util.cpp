#include "common/util.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/log.h"

int util_read_file(const char *path, char **contents)
{
    if (!contents)
        return 0;
    *contents = nullptr;
    GError *error = nullptr;
    gsize length = 0;
    char *text = nullptr;
    if (!path || !g_file_get_contents(path, &text, &length, &error)) {
        wlog('D', log_tag::settings, "Error: Failed to read %s file. Reason: %s.\n", path ? path : "",
             error && error->message ? error->message : "");
        g_clear_error(&error);
        return 0;
    }
    if (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        text[length - 1] = '\0';
    *contents = text;
    return 1;
}

namespace {

constexpr int lock_tries = 5;
constexpr unsigned lock_retry_delay_us = 500 * 1000;

int try_lock(int fd)
{
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK || errno == EAGAIN)
            return -1;
        return errno == EACCES ? -2 : -5;
    }
}

}  // namespace

int util_lock_instance(const char *path)
{
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EACCES ? -2 : -4;

    int result = try_lock(fd);
    for (int attempt = 1; result != 0 && attempt < lock_tries; ++attempt) {
        g_usleep(lock_retry_delay_us);
        result = try_lock(fd);
    }
    if (result != 0) {
        const int lock_errno = errno;  // the caller reports it
        close(fd);
        errno = lock_errno;
        return result;
    }

    if (ftruncate(fd, 0) == 0) {
        char pid[32];
        const int length = g_snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
        ssize_t written;
        do {
            written = write(fd, pid, static_cast<size_t>(length));
        } while (written < 0 && errno == EINTR);
    }
    return fd;
}
