#include "services/settings/settings_service.h"

#include "common/log.h"
#include "services/service_wiring.h"
#include "services/settings/settings_handlers.h"
#include "settings_dbus.h"

namespace {

CorvoSettings *settings_skeleton = nullptr;  // lives until the process ends

// Connected in this order; a row without a handler answers UnknownMethod.
const HandlerRow settings_handler_rows[] = {
    {"handle-sysctl-generic", G_CALLBACK(on_handle_admin_policy_sysctl_generic)},
    {"handle-config-board-serial-port", G_CALLBACK(on_handle_config_board_serial_port)},
    {"handle-set-terminal", G_CALLBACK(on_handle_admin_policy_set_terminal)},
    {"handle-usb-configure", G_CALLBACK(on_handle_admin_policy_usb_configure)},
    {"handle-usb-red-configure", G_CALLBACK(on_handle_admin_policy_usb_red_configure)},
    {"handle-vusb-property", G_CALLBACK(on_handle_admin_policy_vusb_property)},
    {"handle-eeeconfigure", G_CALLBACK(on_handle_admin_policy_eee_configure)},
    {"handle-update-loader-conf", G_CALLBACK(on_handle_admin_policy_update_loader_conf)},
    {"handle-sysctl", G_CALLBACK(on_handle_admin_policy_sysctl)},
    {"handle-gkey-configure", G_CALLBACK(on_handle_admin_policy_gkey_configure)},
    {"handle-rkey-configure", G_CALLBACK(on_handle_admin_policy_rkey_configure)},
    {"handle-get-camera-info", G_CALLBACK(on_handle_admin_policy_get_camera_info)},
    {"handle-set-camera-format", G_CALLBACK(on_handle_admin_policy_set_camera_format)},
    {"handle-set-usb-uhid-driver", G_CALLBACK(on_handle_admin_policy_set_usb_uhid_driver)},
};

void on_settings_bus_acquired(GDBusConnection *connection, const char *name, gpointer)
{
    _wlog('V', "settings", "bus acquired for %s\n.", name);
    settings_skeleton = corvo_settings_skeleton_new();
    connect_handlers(settings_skeleton, settings_handler_rows);
    g_object_set(settings_skeleton, "version", "0.1", nullptr);
    GError *error = nullptr;
    if (!export_skeleton(settings_skeleton, connection, "/com/corvo/settings", &error)) {
        _wlog_res('E', "settings", "$(export_fail)", error->message);
        g_clear_error(&error);
    }
}

void on_settings_name_acquired(GDBusConnection *, const char *name, gpointer)
{
    _wlog('D', "settings", "name acquired for %s\n.", name);
    _wlog('V', "settings", "%s name aquired done.\n", name);
    service_name_served(name);
}

void on_settings_name_lost(GDBusConnection *, const char *name, gpointer)
{
    _wlog('D', "settings", "name lost for %s.\n", name);
}

}  // namespace

guint settings_service_start()
{
    const guint id = g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.corvo.settings", G_BUS_NAME_OWNER_FLAGS_NONE,
                                    on_settings_bus_acquired, on_settings_name_acquired, on_settings_name_lost, nullptr,
                                    nullptr);
    _wlog('D', "settings", "register com.corvo.settings, bus-name-id: %d\n", static_cast<int>(id));
    return id;
}
