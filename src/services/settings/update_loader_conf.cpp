// UpdateLoaderConf: sets any boolean boot-loader tunable from "name=number".
#include <climits>
#include <cstdio>
#include <string>

#include "common/log.h"
#include "common/reply.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/writers.h"

namespace {

// The number after the first '=' as "%d" reads it; 0 when none can be read.
int number_after_equals(const std::string &text)
{
    const size_t equals = text.find('=');
    const char *start = text.c_str() + equals + 1;
    char *end = nullptr;
    const long long number = g_ascii_strtoll(start, &end, 10);
    if (end == start)
        return 0;
    return static_cast<int>(CLAMP(number, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

}  // namespace

gboolean on_handle_admin_policy_update_loader_conf(CorvoSettings *, GDBusMethodInvocation *invocation,
                                                   const gchar *parameters)
{
    const std::string text = parameters ? parameters : "";
    const size_t equals = text.find('=');
    if (text.empty() || equals == std::string::npos)
        return complete_with_reply(invocation, reply_result("Success"));

    // The name comes from the caller: one the file cannot hold changes nothing.
    const std::string name = text.substr(0, equals);
    LoaderConfEdit edit;
    loader_conf_delete(edit, name.c_str());
    const int number = number_after_equals(text);
    print_diagnostic("update_loader_conf: %s\n", text.c_str());
    print_diagnostic(" key %s, rd %d\n", name.c_str(), number);
    if (!loader_conf_write(edit, name.c_str(), number != 0 ? "1" : "0") || !loader_conf_commit(edit))
        return complete_with_reply(invocation, reply_result("Fail"));
    return complete_with_reply(invocation, reply_result("Success"));
}
