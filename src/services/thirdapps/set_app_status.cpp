#include "services/thirdapps/thirdapps_handlers.h"

#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "services/thirdapps/app_status.h"

gboolean on_handle_set_app_status(CorvoThirdapps *, GDBusMethodInvocation *invocation, const gchar *para)
{
    wlog('D', log_tag::thirdapps, "%s enter, param: %s.\n", "on_handle_set_app_status", log_param(para).c_str());
    const JsonParams params(para);
    if (!params.ok())
        return complete_with_reply(invocation, reply_app(false));

    char name[256] = {};
    bool status = false;
    params.copy_string("name", name, sizeof name);
    status = params.get_bool("status").value_or(false);
    apply_app_status(name, status);
    return complete_with_reply(invocation, reply_app(true));
}
