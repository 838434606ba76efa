// EEEConfigure, GKeyConfigure and RKeyConfigure: boolean boot-loader tunables (Energy
// Efficient Ethernet, the system reset key, the system recovery key). The parameter is the
// value text itself; they take effect at the next boot, so no runtime command runs.
#include <glib.h>

#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/text_bool.h"
#include "services/settings/writers.h"

namespace {

// These methods store their parameter as it came; a true or false text is a few bytes.
constexpr size_t stored_value_max = 64;

bool storable(const char *value)
{
    size_t length = 0;
    for (; value[length]; ++length)
        if (length >= stored_value_max || g_ascii_iscntrl(value[length]))
            return false;
    return true;
}

struct PlainBoolRow {
    const char *handler;  // name in log lines
    bool log_parameter;
    const char *module;  // store key ("system", module, key)
    const char *key;
    const char *tunable;  // boot-loader tunable
};

constexpr PlainBoolRow eee_row = {"on_handle_admin_policy_eee_configure", false, "power", "energyefficientethernet",
                                  "hw.re.eee_enable"};
constexpr PlainBoolRow gkey_row = {"on_handle_admin_policy_gkey_configure", true, "shortcut", "resetkeyenable",
                                   "system_reset_key_enable"};
constexpr PlainBoolRow rkey_row = {"on_handle_admin_policy_rkey_configure", true, "shortcut", "recoverkeyenable",
                                   "system_recover_key_enable"};

gboolean plain_bool_configure(const PlainBoolRow &row, GDBusMethodInvocation *invocation, const char *parameter)
{
    if (row.log_parameter)
        wlog('D', log_tag::admin_policy, "..%s, param %s\n", row.handler, log_param(parameter).c_str());
    if (!parameter || !*parameter)
        return complete_with_reply(invocation, reply_result("Success"));
    if (!storable(parameter)) {
        wlog('D', log_tag::admin_policy, "%s: value longer than %zu bytes or with a control character, refused\n",
             row.handler, stored_value_max);
        return complete_with_reply(invocation, reply_result("Fail"));
    }

    const char *digit = text_is_true(parameter) ? "1" : "0";
    g_autofree char *stored = sysconf_get_key("system", row.module, row.key);
    if (stored && g_ascii_strcasecmp(stored, parameter) == 0 && loader_conf_holds(row.tunable, digit)) {
        wlog('D', log_tag::admin_policy, "%s: same value (%s)\n", row.handler, stored);
        return complete_with_reply(invocation, reply_result("Success"));
    }

    // The file first: a value stored without its tunable would make every later request
    // for it look unchanged, and the tunable would never be written.
    LoaderConfEdit edit;
    loader_conf_delete(edit, row.tunable);
    loader_conf_write(edit, row.tunable, digit);
    if (loader_conf_commit(edit) != 0)
        return complete_with_reply(invocation, reply_result("Fail"));
    sysconf_set_key("system", row.module, row.key, parameter, sysconf_type::string);
    return complete_with_reply(invocation, reply_result("Success"));
}

}  // namespace

gboolean on_handle_admin_policy_eee_configure(CorvoSettings *, GDBusMethodInvocation *invocation,
                                              const gchar *parameters)
{
    return plain_bool_configure(eee_row, invocation, parameters);
}

gboolean on_handle_admin_policy_gkey_configure(CorvoSettings *, GDBusMethodInvocation *invocation,
                                               const gchar *parameters)
{
    return plain_bool_configure(gkey_row, invocation, parameters);
}

gboolean on_handle_admin_policy_rkey_configure(CorvoSettings *, GDBusMethodInvocation *invocation,
                                               const gchar *parameters)
{
    return plain_bool_configure(rkey_row, invocation, parameters);
}
