// The single-instance lock of the daemon.
#pragma once

#include <glib.h>

// Takes an exclusive lock on `path` (created 0644 when missing) and writes the process id
// into it. Returns the open descriptor, or -1 with `error`, its message the system's text for
// the failure: G_FILE_ERROR_AGAIN when another process holds the lock, G_FILE_ERROR_ACCES when
// permission was denied, another G_FILE_ERROR when the file could not be opened,
// CORVO_ERROR_FAILED when the lock failed otherwise.
int host_lock_instance(const char *path, GError **error);
