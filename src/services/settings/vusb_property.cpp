// VusbProperty: the virtual USB layer's switches (redirection on, and the device kinds kept
// local), applied now through a sysctl and from the next boot as tunables.
#include <string>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/writers.h"

namespace {

// Request members, tunables and positions in the property string, in this order.
constexpr const char *vusb_switches[] = {"usbRedirect", "excludePrinter", "excludeDisk", "excludeVideo",
                                         "excludeAudio"};
constexpr size_t switch_count = sizeof vusb_switches / sizeof vusb_switches[0];

}  // namespace

gboolean on_handle_admin_policy_vusb_property(CorvoSettings *, GDBusMethodInvocation *invocation,
                                              const gchar *parameters)
{
    int on[switch_count] = {};
    {
        JsonParams params(parameters);
        if (!params.root_is_object())
            return complete_with_reply(invocation, reply_result("Success"));
        for (size_t i = 0; i < switch_count; ++i)
            on[i] = params.get_bool(vusb_switches[i]).value_or(false) ? 1 : 0;
    }
    g_autofree char *property = g_strdup_printf("%d,%d,%d,%d,%d", on[0], on[1], on[2], on[3], on[4]);

    g_autofree char *stored = sysconf_get_key("system", "usbconfiguring", "vusb_property");
    bool file_holds = true;
    for (size_t i = 0; i < switch_count; ++i)
        file_holds = file_holds && loader_conf_holds(vusb_switches[i], on[i] ? "1" : "0");
    if (stored && g_strcmp0(stored, property) == 0 && file_holds)
        return complete_with_reply(invocation, reply_result("Success"));

    const bool applied = usbif_command("hw.usb.vusb_property_string", property);
    if (!applied)
        wlog('T', log_tag::admin_policy, "Admin Policy USB Config, redirect config failed");

    // The tunables are written either way, so the next boot has them; the store learns the
    // value only once the kernel and the file both hold it, so that a retry after a failure
    // is not taken for an unchanged request.
    LoaderConfEdit edit;
    for (size_t i = 0; i < switch_count; ++i) {
        loader_conf_delete(edit, vusb_switches[i]);
        loader_conf_write(edit, vusb_switches[i], on[i] ? "1" : "0");
    }
    const bool written = loader_conf_commit(edit) == 0;
    if (applied && written)
        sysconf_set_key("system", "usbconfiguring", "vusb_property", property, sysconf_type::string);
    return complete_with_reply(invocation, reply_result(applied && written ? "Success" : "Fail"));
}
