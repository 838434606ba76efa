// bios get, set, extract and restore: requests of the BIOS service with its keys accepted
// with or without their common prefix, and passwords read from files only.
#include <cstring>
#include <string>

#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/verbs.h"

namespace {

constexpr const char *key_prefix = "DeviceKORACMOS";
// Keys the BIOS service knows by a name without the prefix are given whole.
constexpr const char *whole_key_starts[] = {key_prefix, "BiosChangeRebo"};
constexpr const char *password_suffixes[] = {"CurrentPassword", "NewPassword", "RestorePassword"};
// The longest extract or restore path the BIOS service takes.
constexpr size_t bios_path_max = 55;

std::string full_key(const char *key)
{
    for (const char *start : whole_key_starts)
        if (g_str_has_prefix(key, start))
            return key;
    return std::string(key_prefix) + key;
}

const CtlService &bios_service()
{
    return *ctl_service_find("bios");
}

// Adds the password read from `path` (null: none given) as `member`. Returns 0, or the
// exit status of the usage error.
int add_password(const CtlOptions &options, const char *path, const char *member, Request *request)
{
    if (!path)
        return 0;
    Secret password;
    g_autoptr(GError) error = nullptr;
    if (!read_password_file(path, &password, &error))
        return ctl_usage_error(options, "password file %s: %s", path, error->message);
    request->set_secret(member, password.get());
    return 0;
}

// The path as the BIOS service must get it: absolute, and short enough.
char *bios_path(const CtlOptions &options, const char *file, int *status)
{
    g_autofree char *path = absolute_path(file);
    if (strlen(path) > bios_path_max) {
        *status =
            ctl_usage_error(options, "%s: the BIOS service takes paths of at most %zu characters", path, bios_path_max);
        return nullptr;
    }
    return static_cast<char *>(g_steal_pointer(&path));
}

}  // namespace

const char *bios_short_key(const char *key)
{
    const size_t prefix = strlen(key_prefix);
    return strncmp(key, key_prefix, prefix) == 0 && key[prefix] ? key + prefix : key;
}

bool bios_key_is_password(const char *key)
{
    const size_t prefix = strlen(key_prefix);
    const char *suffix = g_ascii_strncasecmp(key, key_prefix, prefix) == 0 ? key + prefix : key;
    for (const char *password : password_suffixes)
        if (g_ascii_strcasecmp(suffix, password) == 0)
            return true;
    return false;
}

int verb_bios_get(const CtlOptions &options, char **keys, int count)
{
    g_autoptr(JsonArray) list = json_array_new();
    for (int i = 0; i < count; ++i)
        json_array_add_string_element(list, full_key(keys[i]).c_str());
    g_autoptr(JsonNode) node = json_node_init_array(json_node_alloc(), list);
    g_autofree char *text = json_text(node);
    return ctl_call(options, bios_service(), "GetBios", text, Render::bios_table);
}

int verb_bios_set(const CtlOptions &options, char **assignments, int count)
{
    if (options.password_file && options.new_password_file && strcmp(options.password_file, "-") == 0 &&
        strcmp(options.new_password_file, "-") == 0)
        return ctl_usage_error(options, "only one password file can be standard input");
    Request request;
    for (int i = 0; i < count; ++i) {
        const char *equals = strchr(assignments[i], '=');
        if (!equals || equals == assignments[i])
            return ctl_usage_error(options, "\"%s\" is not KEY=VALUE", assignments[i]);
        const std::string key(assignments[i], static_cast<size_t>(equals - assignments[i]));
        // The value is not shown: it may be the password.
        if (bios_key_is_password(key.c_str()))
            return ctl_usage_error(options,
                                   "%s: passwords are read from --password-file or --new-password-file, "
                                   "never from the command line",
                                   key.c_str());
        request.set_typed(full_key(key.c_str()).c_str(), equals + 1);
    }
    if (const int status = add_password(options, options.password_file, "DeviceKORACMOSCurrentPassword", &request))
        return status;
    if (const int status = add_password(options, options.new_password_file, "DeviceKORACMOSNewPassword", &request))
        return status;
    if (request.empty())
        return ctl_usage_error(options, "bios set needs KEY=VALUE or --new-password-file");
    return ctl_call(options, bios_service(), "SetBios", request.text().get(), Render::result);
}

int verb_bios_extract(const CtlOptions &options, char **file, int)
{
    int status = 0;
    g_autofree char *path = bios_path(options, file[0], &status);
    if (!path)
        return status;
    Request request;
    request.set_text("DeviceKORACMOSExtractFilePath", path);
    return ctl_call(options, bios_service(), "ExtBios", request.text().get(), Render::bios_table);
}

int verb_bios_restore(const CtlOptions &options, char **file, int)
{
    int status = 0;
    g_autofree char *path = bios_path(options, file[0], &status);
    if (!path)
        return status;
    Request request;
    request.set_text("DeviceKORACMOSRestoreFilePath", path);
    if (const int failed = add_password(options, options.password_file, "DeviceKORACMOSRestorePassword", &request))
        return failed;
    return ctl_call(options, bios_service(), "SetBios", request.text().get(), Render::result);
}
