#include "services/bios/get_bios.h"

#include <cstring>

#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_read_keys.h"

std::string get_bios_reply(const char *para)
{
    // Only the exact text "[]" asks for the model's default set.
    const char *key_list = para;
    if (strcmp(para, "[]") == 0) {
        key_list = bios_read_key_list();
        if (!key_list) {
            wlog('D', log_tag::bios, "get product name err\n");
            return reply_read(false, "\"get product name err\"");
        }
    }
    wlog('D', log_tag::bios, " %d: param is %s\n", 1, log_param(key_list).c_str());
    const BiosReadResult read = bios_read_keys(key_list, BiosReadForm::get);
    return reply_read(read.read_status == 1, read.message);
}

gboolean on_handle_get_bios(CorvoBios *, GDBusMethodInvocation *invocation, const gchar *para)
{
    return complete_with_reply(invocation, get_bios_reply(para));
}
