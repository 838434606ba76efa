#include "services/bios/update_bios.h"

#include <glib.h>
#include <string>
#include <sys/mount.h>

#include "common/log.h"
#include "common/reply.h"
#include "host/host_root.h"
#include "host/mount.h"
#include "services/bios/bios_handlers.h"

namespace {

constexpr const char *update_mount_point = "/mnt/bios";
constexpr const char *update_device = "/dev/sdda0p1";
constexpr const char *update_fs_type = "vfat";
// The magic number older kernels want in the upper half, then no set-user-id and no programs.
constexpr unsigned long update_mount_flags = MS_MGC_VAL | MS_NOSUID | MS_NOEXEC;
constexpr const char *update_options = "uid=1001";
constexpr const char *update_options_read_only = "uid=1001,ro";

}  // namespace

bool bios_prepare_mount_point()
{
    const std::string mount_point = host_path(update_mount_point);
    if (!host_prepare_mount_point(mount_point.c_str(), 0777)) {
        wlog('D', log_tag::bios, "mkdir failed %s\n", update_mount_point);
        return false;
    }
    return true;
}

bool update_bios_mount_medium()
{
    if (!bios_prepare_mount_point())
        return false;
    const std::string mount_point = host_path(update_mount_point);
    const std::string device = host_path(update_device);
    g_autoptr(GError) error = nullptr;
    // A write-protected medium is mounted read-only. The daemon's file-creation mask is left
    // alone: it would otherwise apply to every file the daemon writes afterwards.
    if (!host_mount(device.c_str(), mount_point.c_str(), update_fs_type, update_mount_flags, update_options, &error) &&
        g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_ROFS))
        host_mount(device.c_str(), mount_point.c_str(), update_fs_type, update_mount_flags, update_options_read_only,
                   nullptr);
    return true;
}

gboolean on_handle_update_bios(CorvoBios *, GDBusMethodInvocation *invocation)
{
    // Declining the call makes the interface answer UnknownMethod.
    if (!update_bios_mount_medium())
        return decline(invocation);
    return complete_with_reply(invocation, reply_read(false, "\"\""));
}
