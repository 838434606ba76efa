#include "host/smi_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "common/error.h"
#include "host/fd.h"

namespace {

bool fail(GError **error, CorvoError step, int number)
{
    g_set_error_literal(error, CORVO_ERROR, step, g_strerror(number));
    return false;
}

bool real_exchange(const char *path, const void *record, size_t record_size, char *answer, size_t answer_size,
                   size_t *answer_len, GError **error)
{
    // O_RDWR without O_CREAT/O_TRUNC: the driver's file is used as it is, never made.
    const UniqueFd file(open(path, O_RDWR | O_CLOEXEC));
    if (!file.valid())
        return fail(error, CORVO_ERROR_OPEN_FAILED, errno);

    const ssize_t written = retry_eintr([&] { return write(file.get(), record, record_size); });
    if (written < 0)
        return fail(error, CORVO_ERROR_WRITE_FAILED, errno);
    if (static_cast<size_t>(written) != record_size)
        return fail(error, CORVO_ERROR_WRITE_FAILED, EIO);

    if (lseek(file.get(), 0, SEEK_SET) < 0)
        return fail(error, CORVO_ERROR_READ_FAILED, errno);

    const ssize_t got = retry_eintr([&] { return read(file.get(), answer, answer_size); });
    if (got < 0)
        return fail(error, CORVO_ERROR_READ_FAILED, errno);
    *answer_len = static_cast<size_t>(got);
    return true;
}

SmiFileExchange current_exchange = real_exchange;

}  // namespace

bool smi_file_exchange(const char *path, const void *record, size_t record_size, char *answer, size_t answer_size,
                       size_t *answer_len, GError **error)
{
    return current_exchange(path, record, record_size, answer, answer_size, answer_len, error);
}

void smi_file_set_exchange_for_tests(SmiFileExchange exchange)
{
    current_exchange = exchange ? exchange : real_exchange;
}
