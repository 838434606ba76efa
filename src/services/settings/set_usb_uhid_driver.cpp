// SetUsbUhidDriver: the USB devices the host binds to its generic HID driver, now and from
// the next boot.
#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "host/spawn.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/writers.h"

namespace {
constexpr char uhid_driver[] = "uhid";
}

gboolean on_handle_admin_policy_set_usb_uhid_driver(CorvoSettings *, GDBusMethodInvocation *invocation,
                                                    const gchar *parameters)
{
    char devices[4096] = {};
    {
        JsonParams params(parameters);
        if (!params.root_is_object())
            return complete_with_reply(invocation, reply_result("Fail"));
        params.copy_string("uhid", devices, sizeof devices);
    }
    // A list the boot-loader line cannot hold is refused whole, so the tunable and the
    // running kernel never disagree.
    if (!loader_conf_value_ok(devices)) {
        wlog('T', log_tag::admin_policy, "SetUsbUhidDriver: refused device list\n");
        return complete_with_reply(invocation, reply_result("Fail"));
    }

    g_autofree char *tunable = g_strdup_printf("hw.usb.uhid_device_driver.%s", uhid_driver);
    // Same-value rule: the boot-loader line already holds the list, which the kernel got when
    // it was written (and at every boot since); nothing is run again.
    if (conf_file_value(loader_conf_file(), tunable) == devices) {
        wlog('D', log_tag::admin_policy, "%s: same value (%s)\n", "on_handle_admin_policy_set_usb_uhid_driver",
             devices);
        return complete_with_reply(invocation, reply_result("Success"));
    }
    LoaderConfEdit edit;
    loader_conf_delete(edit, tunable);
    loader_conf_write(edit, tunable, devices);
    const int written = loader_conf_commit(edit);

    host_run(host_command("sysctl hw.usb.%s_driver_devices_string=\"{%s}\"", uhid_driver, devices));
    return complete_with_reply(invocation, reply_result(written == 0 ? "Success" : "Fail"));
}
