// Whole-file reader and the single-instance lock.
#pragma once

#include <glib.h>

// Reads the whole file into a new text (free with g_free), with one trailing CR or LF
// removed. Returns 1 on success; 0 on failure (logged) with *contents left NULL.
int util_read_file(const char *path, char **contents);

// Takes an exclusive lock on `path` (created 0644 when missing) and writes the process id
// into it. Returns the open descriptor, or -1 (held by another process), -2 (permission
// denied), -4 (open failed), -5 (lock failed otherwise).
int util_lock_instance(const char *path);
