#include "host/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/error.h"
#include "host/fd.h"

namespace {

constexpr int lock_tries = 5;
constexpr unsigned lock_retry_delay_us = 500 * 1000;

bool try_lock(int fd, GError **error)
{
    if (retry_eintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0)
        return true;
    const int number = errno;
    if (number == EWOULDBLOCK || number == EAGAIN || number == EACCES)
        g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(number), g_strerror(number));
    else
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_FAILED, g_strerror(number));
    return false;
}

}  // namespace

int host_lock_instance(const char *path, GError **error)
{
    // Every instance must lock the same inode, so the file is opened in place rather than
    // replaced. Its path comes from the service manager's command line and lies in a folder
    // only root writes (/var/run); a link there is still never followed.
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) {
        const int number = errno;
        g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(number), g_strerror(number));
        return -1;
    }

    g_autoptr(GError) lock_error = nullptr;
    for (int attempt = 1; !try_lock(fd.get(), &lock_error); ++attempt) {
        if (attempt == lock_tries) {
            g_propagate_error(error, g_steal_pointer(&lock_error));
            return -1;
        }
        g_clear_error(&lock_error);
        g_usleep(lock_retry_delay_us);
    }

    if (ftruncate(fd.get(), 0) == 0) {
        char pid[32];
        const int length = g_snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
        (void)retry_eintr([&] { return write(fd.get(), pid, static_cast<size_t>(length)); });
    }
    return fd.release();
}
