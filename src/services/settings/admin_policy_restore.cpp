#include "services/settings/admin_policy_restore.h"

#include <glib.h>

#include "peers/sysconf.h"
#include "services/settings/writers.h"

namespace {

struct RedirectionKey {
    const char *module;
    const char *key;
};

// Both go to the same kernel variable: the redirect list first, then the local list.
constexpr RedirectionKey redirection_keys[] = {
    {"usbifredirect", "fre_interfacestring"},
    {"usbiflocal", "flo_interfacestring"},
};

}  // namespace

void admin_policy_restore()
{
    g_autofree char *power_button = sysconf_get_key("system", "termsetting", "dispowerbutton");
    if (power_button)
        power_button_apply(power_button);
    for (const auto &row : redirection_keys) {
        g_autofree char *stored = sysconf_get_key("system", row.module, row.key);
        if (stored)
            usbif_command("hw.usb.usbfs_redirect_string", stored);
    }
}
