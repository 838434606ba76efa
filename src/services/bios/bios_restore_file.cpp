#include "services/bios/bios_restore_file.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/json_params.h"
#include "common/log.h"

namespace {

constexpr const char *password_members[] = {"DeviceKORACMOSCurrentPassword", "DeviceKORACMOSNewPassword"};

bool is_password_member(const char *name)
{
    for (const char *member : password_members)
        if (g_ascii_strcasecmp(name, member) == 0)
            return true;
    return false;
}

// Takes the password members out of the settings object. An extract never writes one, so a
// file that holds one was edited by someone, and whoever can edit it must not be able to set
// the admin password through the administrator's restore: only the caller's restore
// password counts.
void drop_passwords(const JsonParams &params)
{
    JsonObject *object = params.object();
    if (!object)
        return;
    std::vector<std::string> found;
    JsonObjectIter members;
    const char *name = nullptr;
    json_object_iter_init(&members, object);
    while (json_object_iter_next(&members, &name, nullptr))
        if (is_password_member(name))
            found.emplace_back(name);
    for (const auto &member : found) {
        wlog('D', log_tag::bios, "cmos file member %s skipped: a restore never sets a password\n", member.c_str());
        params.scrub_string(member.c_str());
        json_object_remove_member(object, member.c_str());
    }
}

}  // namespace

bool bios_restore_file_read(const char *bytes, size_t size, const char *model, BiosSettings *settings)
{
    // A file shorter than the buffer ends in the buffer's zero bytes.
    const size_t length = size < bios_extract_file_size ? size : bios_extract_file_size;
    const void *end = memchr(bytes, '\0', length);
    if (!end && length == bios_extract_file_size)
        return false;
    std::string text(bytes, end ? static_cast<size_t>(static_cast<const char *>(end) - bytes) : length);
    const JsonParams params(text.c_str());
    drop_passwords(params);
    bios_settings_read(params, true, model, settings);
    explicit_bzero(text.data(), text.size());
    return true;
}
