#include "services/thirdapps/app_status.h"

#include <string>

#include "common/log.h"
#include "host/fs.h"
#include "host/host_root.h"
#include "host/key_file.h"
#include "host/spawn.h"
#include "peers/sysconf.h"

namespace {

constexpr const char *HID_APP_NAME = "HID";
constexpr const char *HID_INIT_SCRIPT = "/compat/linux/apps/HID_Citrix/etc/init.d/dpmuxd";
constexpr const char *HID_CONF_FILE = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf";
constexpr const char *HID_CONF_GROUP = "Basic";
constexpr const char *HID_STATUS_KEY = "Status";
constexpr const char *STORE_SCHEMA = "system";

}  // namespace

void apply_app_status(const char *name, bool on)
{
    if (!name || g_ascii_strcasecmp(name, HID_APP_NAME) != 0)
        return;
    const char *status = on ? "On" : "Off";
    set_conf(HID_STATUS_KEY, status);
    set_hid_process(on ? "start" : "stop");
    save_conf_db(HID_APP_NAME, HID_STATUS_KEY, status);
}

void set_conf(const char *key, const char *value)
{
    const std::string path = host_path(HID_CONF_FILE);
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
    g_key_file_set_string(key_file, HID_CONF_GROUP, key, value);
    if (!host_key_file_save(key_file, path, &error))
        wlog('D', log_tag::thirdapps, "%s, error saving key file: %s.\n", "set_conf", error ? error->message : "");
}

void set_hid_process(const char *action)
{
    wlog('D', log_tag::thirdapps, "%s, set process status:%s\n", "set_hid_process", action);
    host_run(host_command("%s %s", host_path(HID_INIT_SCRIPT).c_str(), action));
}

void save_conf_db(const char *module, const char *key, const char *value)
{
    wlog('D', log_tag::thirdapps, "%s, Save app %s %s: %s to db.\n", "save_conf_db", module, key, value);
    sysconf_set_key(STORE_SCHEMA, module, key, value, SYSCONF_TYPE_STRING);
}

void init_app_status()
{
    if (sysconf_ext_cmd("echo", "A", "") != 0) {
        wlog('D', log_tag::thirdapps, "Error: init third app status.\n");
        return;
    }
    g_autofree char *stored = sysconf_get_key(STORE_SCHEMA, HID_APP_NAME, HID_STATUS_KEY);
    if (!stored || !*stored)
        return;
    wlog('D', log_tag::thirdapps, "%s, Init app: %s with status:%s\n", "init_app_status", HID_APP_NAME, stored);
    apply_app_status(HID_APP_NAME, g_ascii_strcasecmp(stored, "On") == 0);
}
