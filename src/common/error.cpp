#include "common/error.h"

namespace {

struct CorvoErrorPrivate {
    int errno_value;
};

void corvo_error_private_init(CorvoErrorPrivate *state)
{
    state->errno_value = 0;
}

void corvo_error_private_copy(const CorvoErrorPrivate *from, CorvoErrorPrivate *to)
{
    to->errno_value = from->errno_value;
}

void corvo_error_private_clear(CorvoErrorPrivate *) {}

}  // namespace

G_DEFINE_EXTENDED_ERROR(CorvoError, corvo_error)

void corvo_set_system_error(GError **error, CorvoError code, int errno_value)
{
    if (!error)
        return;
    g_set_error_literal(error, CORVO_ERROR, code, g_strerror(errno_value));
    corvo_error_get_private(*error)->errno_value = errno_value;
}

int corvo_error_errno(const GError *error)
{
    return error && error->domain == CORVO_ERROR ? corvo_error_get_private(error)->errno_value : 0;
}
