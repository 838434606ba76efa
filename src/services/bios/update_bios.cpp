#include "services/bios/update_bios.h"

#include <cerrno>
#include <glib.h>
#include <string>

#include "common/log.h"
#include "common/reply.h"
#include "host/host_root.h"
#include "host/mount.h"

namespace {

constexpr const char *UPDATE_MOUNT_POINT = "/mnt/bios";
constexpr const char *UPDATE_DEVICE = "/dev/sdda0p1";
constexpr const char *UPDATE_FS_TYPE = "vfat";
// MS_MGC_VAL in the upper half, MS_NOSUID | MS_NOEXEC in the lower.
constexpr unsigned long UPDATE_MOUNT_FLAGS = 0xC0ED000A;
constexpr const char *UPDATE_OPTIONS = "uid=1001";
constexpr const char *UPDATE_OPTIONS_READ_ONLY = "uid=1001,ro";

}  // namespace

bool bios_prepare_mount_point()
{
    const std::string mount_point = host_path(UPDATE_MOUNT_POINT);
    if (host_prepare_mount_point(mount_point.c_str(), 0777) != 0) {
        _wlog('D', "bios", "mkdir failed %s\n", UPDATE_MOUNT_POINT);
        return false;
    }
    return true;
}

bool update_bios_mount_medium()
{
    if (!bios_prepare_mount_point())
        return false;
    const std::string mount_point = host_path(UPDATE_MOUNT_POINT);
    const std::string device = host_path(UPDATE_DEVICE);
    const int error = host_mount(device.c_str(), mount_point.c_str(), UPDATE_FS_TYPE, UPDATE_MOUNT_FLAGS, UPDATE_OPTIONS);
    // A write-protected medium is mounted read-only. The daemon's file-creation mask is left
    // alone: it would otherwise apply to every file the daemon writes afterwards.
    if (error == EROFS)
        host_mount(device.c_str(), mount_point.c_str(), UPDATE_FS_TYPE, UPDATE_MOUNT_FLAGS, UPDATE_OPTIONS_READ_ONLY);
    return true;
}

gboolean on_handle_update_bios(CorvoBios *, GDBusMethodInvocation *invocation)
{
    // Declining the call makes the interface answer UnknownMethod.
    if (!update_bios_mount_medium())
        return decline(invocation);
    return complete_with_reply(invocation, "{\"result\":\"FAILED\", \"message\": \"\"}");
}
