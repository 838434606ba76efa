// ConfigBoardSerialPort: enables the main board's serial port from the next boot.
#include <cstdio>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/writers.h"

namespace {
constexpr char serial_tunable[] = "kern.ttyS.enablement";
}

gboolean on_handle_config_board_serial_port(CorvoSettings *, GDBusMethodInvocation *invocation, const gchar *parameters)
{
    int enable = -1;  // stays -1 when the member is absent: no value to apply
    {
        JsonParams params(parameters);
        if (!params.root_is_object())
            return complete_with_reply(invocation, reply_result("Fail"));
        if (const auto value = params.get_bool("BoardSerialPortEnable"))
            enable = *value ? 1 : 0;
    }
    if (enable < 0)
        return complete_with_reply(invocation, reply_result("Fail"));
    const char *text = enable ? "true" : "false";

    g_autofree char *stored = sysconf_get_key("system", "com", "disable_board_serial");
    if (stored && g_strcmp0(stored, text) == 0 && loader_conf_holds(serial_tunable, text)) {
        // The port is already set that way: the request is fulfilled, so it succeeds.
        print_diagnostic("%s: same value (%s)\n", "on_handle_config_board_serial_port", stored);
        return complete_with_reply(invocation, reply_result("Success"));
    }

    // The file first: a store that claimed a value the boot loader never got would make the
    // same request look unchanged and be refused.
    LoaderConfEdit edit;
    loader_conf_delete(edit, serial_tunable);
    loader_conf_write(edit, serial_tunable, text);
    if (loader_conf_commit(edit) != 0)
        return complete_with_reply(invocation, reply_result("Fail"));
    sysconf_set_key("system", "com", "disable_board_serial", text, sysconf_type::string);
    return complete_with_reply(invocation, reply_result("Success"));
}
