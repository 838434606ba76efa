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

bool sysconf_connect(GError **error)
{
    if (config_proxy)
        return true;
    g_autoptr(GError) bus_error = nullptr;
    config_proxy = corvo_config_proxy_new_for_bus_sync(G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, "com.corvo.config",
                                                       "/com/corvo/config", nullptr, &bus_error);
    if (!config_proxy) {
        print_diagnostic("Error connecting dconf: %s\n", bus_error ? or_empty(bus_error->message) : "");
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "cannot connect to the configuration store");
        return false;
    }
    return true;
}

}  // namespace

bool sysconf_read_key(const char *schema, const char *module, const char *key, char **value, GError **error)
{
    *value = nullptr;
    if (!schema || !module || !key) {
        print_diagnostic("Error parameter when getting key for %s:%s:%s\n", or_empty(schema), or_empty(module),
                         or_empty(key));
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_INVALID, "missing store key name");
        return false;
    }
    if (!sysconf_connect(error))
        return false;
    char *reply = nullptr;
    g_autofree char *refusal = nullptr;
    g_autoptr(GError) call_error = nullptr;
    if (!corvo_config_call_get_key_sync(config_proxy, schema, module, key, &reply, &refusal, nullptr, &call_error)) {
        const char *message = call_error ? or_empty(call_error->message) : "call failed";
        wlog('D', log_tag::settings, "Error getting sys config attribute: %s\n", call_error ? message : "");
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "configuration store: %s", message);
        drop_config_proxy();
        return false;
    }
    if (refusal && *refusal) {
        wlog('D', log_tag::settings, "Error getting sys config %s\n", refusal);
        wlog('D', log_tag::settings, "  schema: %s, module: %s, key: %s\n", schema, module, key);
        // The store answers a key that was never set with a refusal: that is "not stored".
        g_free(reply);
        return true;
    }
    *value = reply;
    return true;
}

char *sysconf_get_key(const char *schema, const char *module, const char *key)
{
    char *value = nullptr;
    sysconf_read_key(schema, module, key, &value, nullptr);
    return value;
}

bool sysconf_set_key(const char *schema, const char *module, const char *key, const char *value, int type,
                     GError **error)
{
    if (!schema || !module || !key || !value) {
        wlog('D', log_tag::settings, "Error parameter when setting key for %s:%s:%s:%s\n", or_empty(schema),
             or_empty(module), or_empty(key), or_empty(value));
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_INVALID, "missing store key name or value");
        return false;
    }
    if (!g_utf8_validate(value, -1, nullptr)) {
        wlog('D', log_tag::settings, "Error setting parameter encoding for %s:%s:%s\n", schema, module, key);
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_INVALID, "value is not UTF-8");
        return false;
    }
    if (type != sysconf_type::boolean && type != sysconf_type::int64 && type != sysconf_type::string) {
        print_diagnostic("Error type for setting key for %s:%s:%s\n", schema, module, key);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "unknown value type %d", type);
        return false;
    }
    if (!sysconf_connect(error))
        return false;
    g_autofree char *refusal = nullptr;
    g_autoptr(GError) call_error = nullptr;
    if (!corvo_config_call_set_key_t_sync(config_proxy, schema, module, key, value, type, &refusal, nullptr,
                                          &call_error)) {
        print_diagnostic("Error setting sys config attribute: %s\n", call_error ? or_empty(call_error->message) : "");
        drop_config_proxy();
        wlog('D', log_tag::settings, "Error setting sys config attribute\n");
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "configuration store call failed");
        return false;
    }
    if (refusal && *refusal) {
        print_diagnostic("Error setting sys config: %s\n", refusal);
        print_diagnostic("  schema: %s, module: %s, key: %s\n", schema, module, key);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_REFUSED, "configuration store: %s", refusal);
        return false;
    }
    return true;
}

bool sysconf_ext_cmd(const char *cmd, const char *param1, const char *param2, GError **error)
{
    if (!cmd) {
        print_diagnostic("Error command\n");
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_INVALID, "no command");
        return false;
    }
    if (!sysconf_connect(error))
        return false;
    g_autofree char *result_text = nullptr;
    g_autofree char *refusal = nullptr;
    g_autoptr(GError) call_error = nullptr;
    if (!corvo_config_call_ext_cmd_sync(config_proxy, cmd, or_empty(param1), or_empty(param2), &result_text, &refusal,
                                        nullptr, &call_error)) {
        wlog('D', log_tag::settings, "Error command %s\n", cmd);
        drop_config_proxy();
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "configuration store command %s failed", cmd);
        return false;
    }
    if (refusal && *refusal) {
        wlog('D', log_tag::settings, "Error ext cmd: %s\n", refusal);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_REFUSED, "configuration store: %s", refusal);
        return false;
    }
    return true;
}

bool udev_remount_usbdisks(gboolean read_only, GError **error)
{
    g_autoptr(GError) call_error = nullptr;
    if (!udev_proxy) {
        udev_proxy = corvo_udev_proxy_new_for_bus_sync(G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, "com.corvo.udev",
                                                       "/com/corvo/udev", nullptr, &call_error);
        if (!udev_proxy) {
            print_diagnostic("Error connecting udev service: %s\n", call_error ? or_empty(call_error->message) : "");
            g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "cannot connect to the device service");
            return false;
        }
    }
    g_autofree char *reply = nullptr;
    if (!corvo_udev_call_remount_usbdisks_sync(udev_proxy, read_only, &reply, nullptr, &call_error)) {
        print_diagnostic("Error remount usbdisks: %s\n", call_error ? or_empty(call_error->message) : "");
        g_clear_object(&udev_proxy);
        wlog('D', log_tag::settings, "Error remount usbdisks\n");
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_UNREACHABLE, "device service call failed");
        return false;
    }
    if (reply && g_ascii_strncasecmp(reply, "Success", 7) == 0)
        return true;
    g_set_error(error, CORVO_ERROR, CORVO_ERROR_REFUSED, "device service answered %s", or_empty(reply));
    return false;
}
