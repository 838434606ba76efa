// Sysctl and SysctlGeneric: runtime kernel tuning (CPU idle state, core dumps, network and
// audio power management, the USB shutdown switch) and the table of boolean sysctls.
#include <cstring>
#include <string>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "host/spawn.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/text_bool.h"
#include "services/settings/writers.h"

namespace {

constexpr const char *success = "Success";
constexpr const char *fail = "Fail";

const char *started(bool ran)
{
    return ran ? success : fail;
}

std::string cpu_cstate_lowest(const char *value)
{
    wlog('D', log_tag::settings, "Set CPU Lowest CState to '%s'", value);
    const char *state = g_ascii_strncasecmp(value, "C1", 2) == 0     ? "C1"
                        : g_ascii_strncasecmp(value, "Cmax", 4) == 0 ? "Cmax"
                                                                     : nullptr;
    if (!state)
        return fail;
    return started(host_run(host_command("sysctl hw.acpi.cpu.cx_lowest=%s", state)));
}

std::string user_core_dump(const char *value)
{
    wlog('D', log_tag::settings, "Enable user core dump (%s) .\n", value);
    if (text_is_yes(value) || text_is_no(value)) {
        const char *on = text_is_yes(value) ? "1" : "0";
        // Same-value rule: the host sysctl entry holds it, and so does the kernel since the
        // entry was written or the host booted.
        if (conf_file_value(sysctl_conf_file(), "kern.coredump") == on) {
            wlog('D', log_tag::settings, "%s: same value (%s)\n", "user_core_dump", on);
            return success;
        }
        const bool ran = host_run(host_command("sysctl kern.coredump=%s", on));
        sysctl_conf_write("kern.coredump", on);
        return started(ran);
    }
    // Any other value asks for the current setting, which changes nothing.
    std::string output;
    if (!host_run(host_command("sysctl kern.coredump"), &output, 63))
        return fail;
    return output.find('1') != std::string::npos ? "1" : "0";
}

std::string kernel_core_dump(const char *value)
{
    if (!text_is_yes(value))
        return fail;
    return started(host_run(host_command("sysctl debug.kdb.panic=1")));
}

// The network adapter's link power management and the audio codec's power switch go
// together; the reply follows the audio switch alone.
std::string re0_aspm(const char *value)
{
    const bool yes = text_is_yes(value);
    if (!yes && !text_is_no(value))
        return fail;
    host_run(host_command("sysctl dev.re.0.aspm_control=%d", yes ? 2 : 0));
    const bool ran = host_run(host_command("sysctl dev.hdac.0.rtswitch=%d", yes ? 3 : 7));
    most_save_power_set(yes ? "true" : "false");
    return started(ran);
}

std::string usb_setting(const char *value)
{
    static constexpr const char *accepted[] = {"no_shutdown_wait=1", "no_shutdown_wait=0"};
    for (const char *prefix : accepted)
        if (strncmp(value, prefix, strlen(prefix)) == 0)
            return started(host_run(host_command("sysctl hw.usb.%s", value)));
    return fail;
}

struct SysctlMember {
    const char *member;
    std::string (*apply)(const char *value);
};

// Tried in this order; the first member present decides and the others are ignored.
constexpr SysctlMember sysctl_members[] = {
    {"CPUCStateLowest", cpu_cstate_lowest},    {"EnableUserCoreDump", user_core_dump},
    {"ForceKernelCoreDump", kernel_core_dump}, {"EnableRe0ASPM", re0_aspm},
    {"hw_usb_setting", usb_setting},
};

constexpr SysctlGenericEntry sysctl_generic_table[] = {
    {"v4l2_not_allowed", "hw.usb.v4l2.v4l2_not_allowed", sysctl_generic_bool_type},
};

}  // namespace

gboolean on_handle_admin_policy_sysctl(CorvoSettings *, GDBusMethodInvocation *invocation, const gchar *parameters)
{
    JsonParams params(parameters);
    if (!params.ok())
        return complete_with_reply(invocation, reply_result(fail));
    for (const auto &row : sysctl_members) {
        char value[32] = {};
        if (params.copy_string(row.member, value, sizeof value))
            return complete_with_reply(invocation, reply_result(row.apply(value)));
    }
    return complete_with_reply(invocation, reply_result(fail));
}

gboolean on_handle_admin_policy_sysctl_generic(CorvoSettings *, GDBusMethodInvocation *invocation,
                                               const gchar *parameters)
{
    JsonParams params(parameters);
    if (!params.ok())
        return complete_with_reply(invocation, reply_result(fail));
    char key[64] = {};
    params.copy_string("sysctl", key, sizeof key);
    int result = 1;
    for (const auto &entry : sysctl_generic_table)
        if (strcmp(entry.key, key) == 0 && entry.handler)
            result = entry.handler(params, &entry);
    return complete_with_reply(invocation, reply_result(result == 0 ? success : fail));
}
