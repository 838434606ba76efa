// Mounting a medium and preparing its mount point.
#pragma once

#include <glib.h>
#include <sys/types.h>

// Makes sure the folder `path` exists, creating it with `mode` (less the umask) when it is
// missing (its parent must exist). False with `error` (G_FILE_ERROR) when it could not be made.
bool host_prepare_mount_point(const char *path, mode_t mode, GError **error = nullptr);

// mount(2). False with `error` in G_FILE_ERROR, its code from the errno of the failure
// (G_FILE_ERROR_ROFS for a write-protected medium).
bool host_mount(const char *source, const char *target, const char *fstype, unsigned long flags, const char *options,
                GError **error);

// Tests only: the function every host_mount call goes to, returning 0 or an errno (nullptr:
// the real mount(2) again).
using HostMountFn = int (*)(const char *source, const char *target, const char *fstype, unsigned long flags,
                            const char *options);
void host_mount_set_for_tests(HostMountFn fn);
