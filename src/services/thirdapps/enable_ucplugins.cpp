#include "services/thirdapps/thirdapps_handlers.h"

#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "host/host_root.h"
#include "host/spawn.h"
#include "services/thirdapps/uc_plugins.h"

namespace {

constexpr const char *shell_program = "/bin/sh";
constexpr const char *uc_toggle_script = "/compat/linux/usr/share/system/toggle_uc_plugins.sh";
constexpr int json_parse_error_code = 281;
// Each element runs a program while every service waits; a call may ask for this many.
constexpr size_t uc_plugins_max = 64;

}  // namespace

gboolean on_handle_enable_ucplugins(CorvoThirdapps *, GDBusMethodInvocation *invocation, const gchar *json)
{
    wlog('D', log_tag::thirdapps, "%s %s\n", "on_handle_enable_ucplugins", log_param(json).c_str());
    const JsonParams params(json);
    if (!params.ok()) {
        wlog('E', log_tag::thirdapps, "%s %d\n", "on_handle_enable_ucplugins", json_parse_error_code);
        return complete_with_reply(invocation, reply_app(false));
    }

    const std::string shell = host_path(shell_program);
    const std::string script = host_path(uc_toggle_script);
    const std::vector<UcPluginRequest> requests = collect_uc_plugins(params.root());
    if (requests.size() > uc_plugins_max) {
        wlog('D', log_tag::thirdapps, "%s: %zu plugins asked for, at most %zu per call; none run\n",
             "on_handle_enable_ucplugins", requests.size(), uc_plugins_max);
        return complete_with_reply(invocation, reply_app(false));
    }
    bool all_run = true;
    unsigned index = 0;
    for (const auto &request : requests) {
        if (request.usable && request.plugin.empty()) {
            // An empty name names no plug-in: nothing to switch.
            wlog('D', log_tag::thirdapps, "%s: element %u has an empty plugin name, skipped\n",
                 "on_handle_enable_ucplugins", index);
        } else if (!request.usable) {
            // Without a name the script would get a wrong argument list; such an element is
            // reported as failed, not guessed at.
            wlog('D', log_tag::thirdapps, "%s: element %u has no plugin name, not run\n", "on_handle_enable_ucplugins",
                 index);
            all_run = false;
        } else {
            // The script's exit status is not examined: a script that ran counts as done.
            g_autoptr(GError) error = nullptr;
            host_run(host_command("%s %s %s %s", shell.c_str(), script.c_str(), request.plugin.c_str(),
                                  request.on ? "ON" : "OFF"),
                     nullptr, 255, &error);
            all_run = all_run && host_run_started(error);
        }
        ++index;
    }
    return complete_with_reply(invocation, reply_app(all_run));
}
