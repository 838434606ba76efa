#include "host/smi_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A descriptor closed on every path out of the exchange.
struct Fd {
    int fd;
    explicit Fd(int value) : fd(value) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

SmiFileResult real_exchange(const char *path, const void *record, size_t record_size, char *answer, size_t answer_size)
{
    // O_RDWR without O_CREAT/O_TRUNC: the driver's file is used as it is, never made.
    Fd file(open(path, O_RDWR | O_CLOEXEC));
    if (file.fd < 0)
        return {SmiFileStatus::open_failed, errno, 0};

    ssize_t written;
    do
        written = write(file.fd, record, record_size);
    while (written < 0 && errno == EINTR);
    if (written < 0)
        return {SmiFileStatus::write_failed, errno, 0};
    if (static_cast<size_t>(written) != record_size)
        return {SmiFileStatus::write_failed, EIO, 0};

    if (lseek(file.fd, 0, SEEK_SET) < 0)
        return {SmiFileStatus::read_failed, errno, 0};

    ssize_t got;
    do
        got = read(file.fd, answer, answer_size);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return {SmiFileStatus::read_failed, errno, 0};
    return {SmiFileStatus::ok, 0, static_cast<size_t>(got)};
}

SmiFileExchange current_exchange = real_exchange;

}  // namespace

SmiFileResult smi_file_exchange(const char *path, const void *record, size_t record_size, char *answer,
                                size_t answer_size)
{
    return current_exchange(path, record, record_size, answer, answer_size);
}

void smi_file_set_exchange_for_tests(SmiFileExchange exchange)
{
    current_exchange = exchange ? exchange : real_exchange;
}
