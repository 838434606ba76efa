#include "services/bios/ext_bios.h"

#include <cerrno>
#include <cstring>
#include <glib.h>

#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "host/file_io.h"
#include "host/host_root.h"
#include "host/spawn.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_read_keys.h"
#include "services/bios/bios_restore_file.h"

namespace {

constexpr size_t extract_path_size = 64;
constexpr size_t extract_path_max = 55;
constexpr const char *extract_script = "/usr/share/system/cmos_extract.sh";

// The script gets the file path as one argument; no shell reads it.
void run_extract_script(const char *path)
{
    const HostCommand command = host_command("sh %s %s", host_path(extract_script).c_str(), path);
    // The script's exit status is not examined; only a script that never ran is logged.
    g_autoptr(GError) error = nullptr;
    host_run(command, nullptr, 255, &error);
    if (!host_run_started(error))
        wlog('D', log_tag::bios, "import system cfg error: %s\n", error->message);
}

// The file holds the message and zero bytes up to its fixed size. It is always a new file of
// the daemon's own renamed over the path: whatever a user left there (a link, a FIFO, a file
// of theirs to edit before the restore) is replaced, never written through. False when it
// could not be written whole.
bool write_extract_file(const char *path, const std::string &message)
{
    char bytes[bios_extract_file_size] = {};
    static_assert(bios_message_max < bios_extract_file_size, "the message and its end fit the file");
    memcpy(bytes, message.data(), message.size() < bios_message_max ? message.size() : bios_message_max);
    HostFileAttrs attrs;
    attrs.mode = 0666 & ~static_cast<mode_t>(S_IWGRP | S_IWOTH);
    attrs.less_umask = true;
    g_autoptr(GError) error = nullptr;
    const bool written = host_file_replace(path, std::string_view(bytes, sizeof bytes), attrs, &error);
    if (!written)
        wlog('D', log_tag::bios, "open cmos file err, errno is %s\n", error->message);
    wlog('D', log_tag::bios, "wirte ret value is %d\n", written ? static_cast<int>(sizeof bytes) : -1);
    return written;
}

}  // namespace

std::string ext_bios_reply(const BiosState &state, const char *para)
{
    char path[extract_path_size] = {};
    const JsonParams params(para);
    params.copy_string("DeviceKORACMOSExtractFilePath", path, sizeof path);
    const bool extract_mode = path[0] != '\0';
    BiosKeys keys;
    if (extract_mode) {
        if (strlen(path) > extract_path_max) {
            wlog('D', log_tag::bios, "cmos file name too large err\n");
            return reply_read(false, "{}");
        }
        const BiosKeyList list = bios_extract_key_list(state.model);
        if (!list.suffixes) {
            wlog('D', log_tag::bios, "cmos:get product name err\n");
            return reply_read(false, "\"cmos: get product name err\"");
        }
        keys = bios_keys_of(list);
    } else {
        keys = bios_keys_of(params);
    }
    wlog('D', log_tag::bios, "Extract: %d: param is %s\n", 1,
         log_param(extract_mode ? bios_keys_text(keys) : para).c_str());
    const BiosReadResult read =
        bios_read_keys(keys, extract_mode ? BiosReadForm::extract_file : BiosReadForm::extract_reply, state);
    if (extract_mode) {
        run_extract_script(path);
        if (!write_extract_file(path, read.message))
            return reply_read(false, read.message);
    }
    return reply_read(read.read_status == 1, read.message);
}

gboolean on_handle_ext_bios(CorvoBios *, GDBusMethodInvocation *invocation, const gchar *para)
{
    return complete_with_reply(invocation, ext_bios_reply(bios_service_state(), para));
}
