// The single-instance lock of the daemon.
#pragma once

// Takes an exclusive lock on `path` (created 0644 when missing) and writes the process id
// into it. Returns the open descriptor, or -1 (held by another process), -2 (permission
// denied), -4 (open failed), -5 (lock failed otherwise).
int host_lock_instance(const char *path);
