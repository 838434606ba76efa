#include <cstring>
#include <string>

#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_read_keys.h"

namespace {

std::string read_reply(const BiosKeys &keys, const BiosState &state)
{
    const BiosReadResult read = bios_read_keys(keys, BiosReadForm::get, state);
    return reply_read(read.read_status == 1, read.message);
}

// The reply of one call: the settings the caller names, or the model's default set.
std::string get_bios_reply(const BiosState &state, const char *para)
{
    // Only the exact text "[]" asks for the model's default set.
    if (strcmp(para, "[]") != 0) {
        wlog('D', log_tag::bios, " %d: param is %s\n", 1, log_param(para).c_str());
        return read_reply(bios_keys_of(JsonParams(para)), state);
    }
    const BiosKeyList list = bios_read_key_list(state.model);
    if (!list.suffixes) {
        wlog('D', log_tag::bios, "get product name err\n");
        return reply_read(false, "\"get product name err\"");
    }
    const BiosKeys keys = bios_keys_of(list);
    wlog('D', log_tag::bios, " %d: param is %s\n", 1, bios_keys_text(keys).c_str());
    return read_reply(keys, state);
}

}  // namespace

gboolean on_handle_get_bios(CorvoBios *, GDBusMethodInvocation *invocation, const gchar *para)
{
    return complete_with_reply(invocation, get_bios_reply(bios_service_state(), para));
}
