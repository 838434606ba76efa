// SetTerminal: the power button (applied now and again at every start) and the restart switch.
#include "common/json_params.h"
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

    int applied = 0;
    if (*power_button) {
        applied = power_button_apply(power_button);
        // Stored only when applied, so the start-up restore never replays a value that did
        // nothing now.
        if (applied == 1)
            sysconf_set_key("system", "termsetting", "dispowerbutton", power_button, sysconf_type::string);
    }
    if (*restart)
        sysconf_set_key("system", "termsetting", "disrestart", restart, sysconf_type::string);
    return complete_with_reply(invocation, reply_result(applied == 1 ? "Success" : "Fail"));
}
