// UsbRedConfigure: which USB devices and interfaces the kernel redirects (redirect list) or
// keeps with local drivers (local list). Both lists are stored and re-applied at start-up.
#include <cstring>
#include <string>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/usb_red_string.h"
#include "services/settings/writers.h"

namespace {

constexpr char redirect_variable[] = "hw.usb.usbfs_redirect_string";
constexpr char product_redirect_tunable[] = "hw.usb.product.redirect";

// The redirect-mode string is also a boot-loader tunable while it holds a NoDriver entry.
int update_product_redirect(const std::string &kernel_string, bool no_driver)
{
    LoaderConfEdit edit;
    loader_conf_delete(edit, product_redirect_tunable);
    if (no_driver)
        loader_conf_write(edit, product_redirect_tunable, kernel_string.c_str());
    return loader_conf_commit(edit);
}

}  // namespace

gboolean on_handle_admin_policy_usb_red_configure(CorvoSettings *, GDBusMethodInvocation *invocation,
                                                  const gchar *parameters)
{
    char ids[1024] = {};
    char enable[4] = {};
    {
        JsonParams params(parameters);
        if (!params.root_is_object())
            return complete_with_reply(invocation, reply_result("Fail"));
        params.copy_string("usbifstring", ids, sizeof ids);
        params.copy_string("usbredenable", enable, sizeof enable);
    }

    if (usb_red_is_special(ids)) {
        g_autofree char *text = g_strdup_printf("%s,%s", ids, enable);
        return complete_with_reply(invocation,
                                   reply_result(usbif_command(redirect_variable, text) ? "Success" : "Fail"));
    }

    const bool no_driver = strstr(ids, "NoDriver") != nullptr;
    const bool redirect = text_is_yes(enable);
    const std::string kernel_string = usb_red_kernel_string(ids, redirect);
    // Same-value rule: the list's stored string is in force (set at its call and at every
    // start since), and its boot-loader line agrees.
    g_autofree char *stored = redirect ? sysconf_get_key("system", "usbifredirect", "fre_interfacestring")
                                       : sysconf_get_key("system", "usbiflocal", "flo_interfacestring");
    const bool tunable_agrees =
        !redirect || (no_driver ? loader_conf_holds(product_redirect_tunable, kernel_string.c_str())
                                : !conf_file_value(loader_conf_file(), product_redirect_tunable));
    if (stored && kernel_string == stored && tunable_agrees) {
        wlog('D', log_tag::admin_policy, "%s: same value (%s)\n", "on_handle_admin_policy_usb_red_configure", stored);
        return complete_with_reply(invocation, reply_result("Success"));
    }
    if (!usbif_command(redirect_variable, kernel_string.c_str()))
        return complete_with_reply(invocation, reply_result("Fail"));

    if (!redirect) {
        sysconf_set_key("system", "usbiflocal", "flo_interfacestring", kernel_string.c_str(), sysconf_type::string);
        return complete_with_reply(invocation, reply_result("Success"));
    }
    // Stored only once the boot-loader line agrees, so a retry redoes the whole request.
    if (update_product_redirect(kernel_string, no_driver) != 0)
        return complete_with_reply(invocation, reply_result("Fail"));
    sysconf_set_key("system", "usbifredirect", "fre_interfacestring", kernel_string.c_str(), sysconf_type::string);
    return complete_with_reply(invocation, reply_result("Success"));
}
