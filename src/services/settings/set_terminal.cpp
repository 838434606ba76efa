// SetTerminal: the power button (applied now and again at every start) and the restart switch.
#include <cstring>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/writers.h"

gboolean on_handle_admin_policy_set_terminal(CorvoSettings *, GDBusMethodInvocation *invocation,
                                             const gchar *parameters)
{
    char power_button[64] = {};
    char restart[64] = {};
    {
        JsonParams params(parameters);
        params.copy_string("DisablePowerButton", power_button, sizeof power_button);
        params.copy_string("DisableRestart", restart, sizeof restart);
    }

    // Same-value rule: a power-button value equal to the stored one is in force (applied at
    // its call and at every start since), so nothing runs again; a restart switch equal to the
    // stored one is not stored again. A request that changes nothing succeeds.
    bool done = true;
    if (*power_button) {
        g_autofree char *stored = sysconf_get_key("system", "termsetting", "dispowerbutton");
        if (stored && g_ascii_strcasecmp(stored, power_button) == 0) {
            wlog('D', log_tag::admin_policy, "%s: same value (%s)\n", "on_handle_admin_policy_set_terminal", stored);
        } else {
            done = power_button_apply(power_button) == 1;
            // Stored only when applied, so the start-up restore never replays a value that
            // did nothing now.
            if (done)
                sysconf_set_key("system", "termsetting", "dispowerbutton", power_button, sysconf_type::string);
        }
    }
    if (*restart) {
        g_autofree char *stored = sysconf_get_key("system", "termsetting", "disrestart");
        if (!stored || strcmp(stored, restart) != 0)
            done = sysconf_set_key("system", "termsetting", "disrestart", restart, sysconf_type::string) == 0 && done;
    }
    // A request with neither member asks for nothing it could be given.
    if (!*power_button && !*restart)
        done = false;
    return complete_with_reply(invocation, reply_result(done ? "Success" : "Fail"));
}
