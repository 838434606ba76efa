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
// Settings the BIOS service takes as the number 0 or 1 (any other value it skips without a
// word), and the words an administrator may write for them.
constexpr const char *switch_suffixes[] = {
    "WakeOnUSB", "Audio", "AdminLock", "USBRearPort", "USBFrontTopPort", "USBFrontTopMePort", "USBFrontBottomMePort",
    "USBFrontBottomPort", "USBBootSupport", "PXEBootSupport", "USBFrontPort", "SecureBoot", "OSDConfigure",
    "USBSidePortTop", "USBSideBottom", "USBRearPortTopLeft", "USBRearPortTopRight", "USBRearBottomLeft",
    "USBRearPortBottomRight", "USBSidePort", "SupressDockWarnMsg"};
constexpr struct {
    const char *word;
    int value;
} switch_words[] = {{"1", 1}, {"0", 0}, {"on", 1}, {"off", 0}, {"yes", 1}, {"no", 0}, {"true", 1}, {"false", 0}};
// The longest extract or restore path the BIOS service takes.
constexpr size_t bios_path_max = 55;

std::string full_key(const char *key)
{
    for (const char *start : whole_key_starts)
        if (g_str_has_prefix(key, start))
            return key;
    return std::string(key_prefix) + key;
}

bool is_switch(const std::string &key)
{
    for (const char *suffix : switch_suffixes)
        if (key == std::string(key_prefix) + suffix)
            return true;
    return false;
}

// The 0 or 1 a switch word stands for; -1 for any other word.
int switch_value(const char *word)
{
    for (const auto &row : switch_words)
        if (g_ascii_strcasecmp(word, row.word) == 0)
            return row.value;
    return -1;
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
    // The current password alone changes nothing: refused before any file is read.
    if (count == 0 && !options.new_password_file)
        return ctl_usage_error(options, "bios set needs KEY=VALUE or --new-password-file");
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
        const std::string member = full_key(key.c_str());
        if (is_switch(member)) {
            const int value = switch_value(equals + 1);
            if (value < 0)
                return ctl_usage_error(options, "%s takes 0 or 1 (on/off, yes/no, true/false), not \"%s\"",
                                       key.c_str(), equals + 1);
            request.set_int(member.c_str(), value);
        } else {
            request.set_typed(member.c_str(), equals + 1);
        }
    }
    if (const int status = add_password(options, options.password_file, "DeviceKORACMOSCurrentPassword", &request))
        return status;
    if (const int status = add_password(options, options.new_password_file, "DeviceKORACMOSNewPassword", &request))
        return status;
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
