#include "host/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <unistd.h>

#include "host/fd.h"

namespace {

constexpr int lock_tries = 5;
constexpr unsigned lock_retry_delay_us = 500 * 1000;

int try_lock(int fd)
{
    if (retry_eintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0)
        return 0;
    if (errno == EWOULDBLOCK || errno == EAGAIN)
        return -1;
    return errno == EACCES ? -2 : -5;
}

}  // namespace

int host_lock_instance(const char *path)
{
    // Every instance must lock the same inode, so the file is opened in place rather than
    // replaced. Its path comes from the service manager's command line and lies in a folder
    // only root writes (/var/run); a link there is still never followed.
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid())
        return errno == EACCES ? -2 : -4;

    int result = try_lock(fd.get());
    for (int attempt = 1; result != 0 && attempt < lock_tries; ++attempt) {
        g_usleep(lock_retry_delay_us);
        result = try_lock(fd.get());
    }
    if (result != 0) {
        const int lock_errno = errno;  // the caller reports it
        fd.reset();
        errno = lock_errno;
        return result;
    }

    if (ftruncate(fd.get(), 0) == 0) {
        char pid[32];
        const int length = g_snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
        (void)retry_eintr([&] { return write(fd.get(), pid, static_cast<size_t>(length)); });
    }
    return fd.release();
}
