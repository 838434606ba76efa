#include "services/thirdapps/thirdapps_handlers.h"

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "services/thirdapps/app_status.h"

gboolean on_handle_set_app_status(CorvoThirdapps *, GDBusMethodInvocation *invocation, const gchar *para)
{
    wlog('D', log_tag::thirdapps, "%s enter, param: %s.\n", "on_handle_set_app_status", para);
    const JsonParams params(para);
    if (!params.ok())
        return complete_with_reply(invocation, reply_app(false));

    char name[256] = {};
    int status = 0;
    params.copy_string("name", name, sizeof name);
    params.get_bool("status", &status);
    apply_app_status(name, status != 0);
    return complete_with_reply(invocation, reply_app(true));
}
