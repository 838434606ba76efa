// Mounting a medium and preparing its mount point.
#pragma once

#include <sys/types.h>

// Makes sure the folder `path` exists, creating it with `mode` (less the umask) when it is
// missing. Returns 0, or the errno of the failed creation.
int host_prepare_mount_point(const char *path, mode_t mode);

// mount(2). Returns 0, or the errno of the failure.
int host_mount(const char *source, const char *target, const char *fstype, unsigned long flags, const char *options);

// Tests only: the function every host_mount call goes to (nullptr: the real mount(2) again).
using HostMountFn = int (*)(const char *source, const char *target, const char *fstype, unsigned long flags,
                            const char *options);
void host_mount_set_for_tests(HostMountFn fn);
