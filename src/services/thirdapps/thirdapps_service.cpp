#include "services/thirdapps/thirdapps_service.h"

#include "common/log.h"
#include "services/service_wiring.h"
#include "services/thirdapps/enable_ucplugins.h"
#include "services/thirdapps/set_app_status.h"
#include "settings_dbus.h"

namespace {

CorvoThirdapps *thirdapps_skeleton = nullptr;  // lives until the process ends

const HandlerRow thirdapps_handler_rows[] = {
    {"handle-set-app-status", G_CALLBACK(on_handle_set_app_status)},
    {"handle-enable-ucplugins", G_CALLBACK(on_handle_enable_ucplugins)},
};

void on_thirdapps_bus_acquired(GDBusConnection *connection, const char *, gpointer)
{
    thirdapps_skeleton = corvo_thirdapps_skeleton_new();
    connect_handlers(thirdapps_skeleton, thirdapps_handler_rows);
    GError *error = nullptr;
    if (!export_skeleton(thirdapps_skeleton, connection, "/com/corvo/thirdapps", &error)) {
        _wlog('D', "ThirdApps", "Error: Failed to export object. Reason: %s.\n", error->message);
        g_clear_error(&error);
    }
}

void gbus_name_thirdapps_acquired_callback(GDBusConnection *, const char *name, gpointer user_data)
{
    _wlog('D', "ThirdApps", "%s name: %s,user_data: %s\n", "gbus_name_thirdapps_acquired_callback", name,
          static_cast<const char *>(user_data));
    service_name_served(name);
}

void gbus_name_lost_callback(GDBusConnection *, const char *name, gpointer)
{
    _wlog('D', "ThirdApps", "%s has been invoked, name: %s\n", "gbus_name_lost_callback", name);
}

}  // namespace

guint thirdapps_service_start()
{
    static char user_data[] = "thirdapps";
    const guint id = g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.corvo.thirdapps", G_BUS_NAME_OWNER_FLAGS_NONE,
                                    on_thirdapps_bus_acquired, gbus_name_thirdapps_acquired_callback, gbus_name_lost_callback, user_data, nullptr);
    _wlog('D', "ThirdApps", "register com.corvo.thirdapps, bus-name-id: %d\n", static_cast<int>(id));
    return id;
}
