#include "services/thirdapps/app_status.h"

#include <string>

#include "common/log.h"
#include "host/fs.h"
#include "host/host_root.h"
#include "host/key_file.h"
#include "host/spawn.h"
#include "peers/sysconf.h"

namespace {

constexpr const char *hid_app_name = "HID";
constexpr const char *hid_init_script = "/compat/linux/apps/HID_Citrix/etc/init.d/dpmuxd";
constexpr const char *hid_conf_file = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf";
constexpr const char *hid_conf_group = "Basic";
constexpr const char *hid_status_key = "Status";
constexpr const char *store_schema = "system";

// Sets `key` of group "Basic" in the HID key file, keeping comments and translations.
// A missing file is left missing.
void set_conf(const char *key, const char *value)
{
    const std::string path = host_path(hid_conf_file);
    // The file belongs to the HID package; creating it would fake an installation.
    if (!host_exists(path)) {
        wlog('D', log_tag::thirdapps, "%s, config file is not exist.\n", "set_conf");
        return;
    }
    if (!key || !value) {
        wlog('D', log_tag::thirdapps, "%s, group key or value is null.\n", "set_conf");
        return;
    }
    g_autoptr(GError) error = nullptr;
    g_autoptr(GKeyFile) key_file = host_key_file_load(path, &error);
    if (!key_file) {
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
            wlog('D', log_tag::thirdapps, "%s, error loading key file: %s.\n", "set_conf", error->message);
            return;
        }
        g_clear_error(&error);
        key_file = g_key_file_new();
    }
    g_key_file_set_string(key_file, hid_conf_group, key, value);
    if (!host_key_file_save(key_file, path, &error))
        wlog('D', log_tag::thirdapps, "%s, error saving key file: %s.\n", "set_conf", error ? error->message : "");
}

// Runs the HID init script with `action` ("start" or "stop") and waits for it.
void set_hid_process(const char *action)
{
    wlog('D', log_tag::thirdapps, "%s, set process status:%s\n", "set_hid_process", action);
    host_run(host_command("%s %s", host_path(hid_init_script).c_str(), action));
}

// Stores `value` under schema "system"; the result is not looked at.
void save_conf_db(const char *module, const char *key, const char *value)
{
    wlog('D', log_tag::thirdapps, "%s, Save app %s %s: %s to db.\n", "save_conf_db", module, key, value);
    sysconf_set_key(store_schema, module, key, value, sysconf_type::string);
}

}  // namespace

void apply_app_status(const char *name, bool on)
{
    if (!name || g_ascii_strcasecmp(name, hid_app_name) != 0)
        return;
    const char *status = on ? "On" : "Off";
    set_conf(hid_status_key, status);
    set_hid_process(on ? "start" : "stop");
    save_conf_db(hid_app_name, hid_status_key, status);
}

void init_app_status()
{
    if (sysconf_ext_cmd("echo", "A", "") != 0) {
        wlog('D', log_tag::thirdapps, "Error: init third app status.\n");
        return;
    }
    g_autofree char *stored = sysconf_get_key(store_schema, hid_app_name, hid_status_key);
    if (!stored || !*stored)
        return;
    wlog('D', log_tag::thirdapps, "%s, Init app: %s with status:%s\n", "init_app_status", hid_app_name, stored);
    apply_app_status(hid_app_name, g_ascii_strcasecmp(stored, "On") == 0);
}
