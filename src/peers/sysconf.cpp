#include "peers/sysconf.h"

#include <cstdio>

#include "common/log.h"
#include "config_dbus.h"
#include "udev_dbus.h"

namespace {

CorvoConfig *config_proxy = nullptr;
CorvoUdev *udev_proxy = nullptr;

void drop_config_proxy()
{
    g_clear_object(&config_proxy);
}

const char *or_empty(const char *text)
{
    return text ? text : "";
}

}  // namespace

int sysconf_connect()
{
    if (config_proxy)
        return 0;
    GError *error = nullptr;
    config_proxy = corvo_config_proxy_new_for_bus_sync(G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, "com.corvo.config",
                                                       "/com/corvo/config", nullptr, &error);
    if (!config_proxy) {
        print_diagnostic("Error connecting dconf: %s\n", error ? or_empty(error->message) : "");
        g_clear_error(&error);
        return -2;
    }
    return 0;
}

int sysconf_read_key(const char *schema, const char *module, const char *key, char **value, char **why)
{
    *value = nullptr;
    if (!schema || !module || !key) {
        print_diagnostic("Error parameter when getting key for %s:%s:%s\n", or_empty(schema), or_empty(module),
                         or_empty(key));
        *why = g_strdup("missing store key name");
        return -10;
    }
    if (sysconf_connect() != 0) {
        *why = g_strdup("cannot connect to the configuration store");
        return -2;
    }
    char *reply = nullptr;
    char *refusal = nullptr;
    GError *error = nullptr;
    if (!corvo_config_call_get_key_sync(config_proxy, schema, module, key, &reply, &refusal, nullptr, &error)) {
        wlog('D', log_tag::settings, "Error getting sys config attribute: %s\n", error ? or_empty(error->message) : "");
        *why = g_strdup_printf("configuration store: %s", error ? or_empty(error->message) : "call failed");
        g_clear_error(&error);
        drop_config_proxy();
        return -3;
    }
    if (refusal && *refusal) {
        wlog('D', log_tag::settings, "Error getting sys config %s\n", refusal);
        wlog('D', log_tag::settings, "  schema: %s, module: %s, key: %s\n", schema, module, key);
        // The store answers a key that was never set with a refusal: that is "not stored".
        g_free(reply);
        g_free(refusal);
        return 0;
    }
    g_free(refusal);
    *value = reply;
    return 0;
}

char *sysconf_get_key(const char *schema, const char *module, const char *key)
{
    char *value = nullptr;
    g_autofree char *why = nullptr;
    sysconf_read_key(schema, module, key, &value, &why);
    return value;
}

int sysconf_set_key(const char *schema, const char *module, const char *key, const char *value, int type)
{
    if (!schema || !module || !key || !value) {
        wlog('D', log_tag::settings, "Error parameter when setting key for %s:%s:%s:%s\n", or_empty(schema),
             or_empty(module), or_empty(key), or_empty(value));
        return -10;
    }
    if (!g_utf8_validate(value, -1, nullptr)) {
        wlog('D', log_tag::settings, "Error setting parameter encoding for %s:%s:%s\n", schema, module, key);
        return -10;
    }
    if (type != sysconf_type::boolean && type != sysconf_type::int64 && type != sysconf_type::string) {
        print_diagnostic("Error type for setting key for %s:%s:%s\n", schema, module, key);
        return -11;
    }
    if (sysconf_connect() != 0)
        return -2;
    char *refusal = nullptr;
    GError *error = nullptr;
    if (!corvo_config_call_set_key_t_sync(config_proxy, schema, module, key, value, type, &refusal, nullptr, &error)) {
        print_diagnostic("Error setting sys config attribute: %s\n", error ? or_empty(error->message) : "");
        g_clear_error(&error);
        drop_config_proxy();
        wlog('D', log_tag::settings, "Error setting sys config attribute\n");
        return -3;
    }
    int result = 0;
    if (refusal && *refusal) {
        print_diagnostic("Error setting sys config: %s\n", refusal);
        print_diagnostic("  schema: %s, module: %s, key: %s\n", schema, module, key);
        result = -4;
    }
    g_free(refusal);
    return result;
}

int sysconf_ext_cmd(const char *cmd, const char *param1, const char *param2)
{
    if (!cmd) {
        print_diagnostic("Error command\n");
        return -10;
    }
    if (sysconf_connect() != 0)
        return -2;
    char *result_text = nullptr;
    char *refusal = nullptr;
    GError *error = nullptr;
    if (!corvo_config_call_ext_cmd_sync(config_proxy, cmd, or_empty(param1), or_empty(param2), &result_text, &refusal,
                                        nullptr, &error)) {
        wlog('D', log_tag::settings, "Error command %s\n", cmd);
        g_clear_error(&error);
        drop_config_proxy();
        return -3;
    }
    int result = 0;
    if (refusal && *refusal) {
        wlog('D', log_tag::settings, "Error ext cmd: %s\n", refusal);
        result = -4;
    }
    g_free(result_text);
    g_free(refusal);
    return result;
}

int udev_remount_usbdisks(gboolean read_only)
{
    GError *error = nullptr;
    if (!udev_proxy) {
        udev_proxy = corvo_udev_proxy_new_for_bus_sync(G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, "com.corvo.udev",
                                                       "/com/corvo/udev", nullptr, &error);
        if (!udev_proxy) {
            print_diagnostic("Error connecting udev service: %s\n", error ? or_empty(error->message) : "");
            g_clear_error(&error);
            return -2;
        }
    }
    char *reply = nullptr;
    if (!corvo_udev_call_remount_usbdisks_sync(udev_proxy, read_only, &reply, nullptr, &error)) {
        print_diagnostic("Error remount usbdisks: %s\n", error ? or_empty(error->message) : "");
        g_clear_error(&error);
        g_clear_object(&udev_proxy);
        wlog('D', log_tag::settings, "Error remount usbdisks\n");
        return -4;
    }
    const bool success = reply && g_ascii_strncasecmp(reply, "Success", 7) == 0;
    g_free(reply);
    return success ? 0 : -3;
}
