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

bool host_prepare_mount_point(const char *path, mode_t mode, GError **error)
{
    if (g_file_test(path, G_FILE_TEST_EXISTS) || mkdir(path, mode) == 0 || errno == EEXIST)
        return true;
    const int number = errno;
    g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(number), "cannot make %s: %s", path, g_strerror(number));
    return false;
}

bool host_mount(const char *source, const char *target, const char *fstype, unsigned long flags, const char *options,
                GError **error)
{
    const int number = current_mount(source, target, fstype, flags, options);
    if (number == 0)
        return true;
    g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(number), "cannot mount %s on %s: %s", source, target,
                g_strerror(number));
    return false;
}

void host_mount_set_for_tests(HostMountFn fn)
{
    current_mount = fn ? fn : real_mount;
}
