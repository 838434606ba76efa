#include "host/mount.h"

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

int real_mount(const char *source, const char *target, const char *fstype, unsigned long flags, const char *options)
{
    return mount(source, target, fstype, flags, options) == 0 ? 0 : errno;
}

HostMountFn current_mount = real_mount;

}  // namespace

int host_prepare_mount_point(const char *path, mode_t mode)
{
    struct stat st;
    if (stat(path, &st) == 0)
        return 0;
    if (mkdir(path, mode) == 0 || errno == EEXIST)
        return 0;
    return errno;
}

int host_mount(const char *source, const char *target, const char *fstype, unsigned long flags, const char *options)
{
    return current_mount(source, target, fstype, flags, options);
}

void host_mount_set_for_tests(HostMountFn fn)
{
    current_mount = fn ? fn : real_mount;
}
