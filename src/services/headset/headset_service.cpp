#include "services/headset/headset_service.h"

#include <cstdio>

#include "common/log.h"
#include "services/headset/set_headset.h"
#include "services/service_wiring.h"
#include "settings_dbus.h"

namespace {

CorvoHeadset *headset_skeleton = nullptr;  // lives until the process ends

const HandlerRow headset_handler_rows[] = {
    {"handle-set-headset", G_CALLBACK(on_handle_set_headset)},
};

void on_headset_bus_acquired(GDBusConnection *connection, const char *name, gpointer user_data)
{
    const char *data = static_cast<const char *>(user_data);
    _wlog('D', "headset", "%s name = %s, the user_data = %s\n", "on_headset_bus_acquired", name, data);
    printf("%s name = %s, the user_data = %s\n", "on_headset_bus_acquired", name, data);
    headset_skeleton = corvo_headset_skeleton_new();
    connect_handlers(headset_skeleton, headset_handler_rows);
    g_object_set(headset_skeleton, "version", "0.1", nullptr);
    GError *error = nullptr;
    if (!export_skeleton(headset_skeleton, connection, "/com/corvo/headset", &error)) {
        _wlog('D', "headset", "Error: Failed to export object. Reason: %s.\n", error->message);
        g_clear_error(&error);
    }
}

void gbus_name_headset_acquired_callback(GDBusConnection *, const char *name, gpointer user_data)
{
    _wlog('D', "headset", "%s name = %s, the user_data = %s\n", "gbus_name_headset_acquired_callback", name,
          static_cast<const char *>(user_data));
    service_name_served(name);
}

void on_headset_name_lost(GDBusConnection *, const char *name, gpointer)
{
    _wlog('D', "headset", "%s has been invoked, name = %s\n", "on_headset_name_lost", name);
}

}  // namespace

guint headset_service_start()
{
    static char user_data[] = "headset";
    const guint id = g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.corvo.headset", G_BUS_NAME_OWNER_FLAGS_NONE,
                                    on_headset_bus_acquired, gbus_name_headset_acquired_callback, on_headset_name_lost,
                                    user_data, nullptr);
    _wlog('D', "headset", "register com.corvo.headset, bus-name-id: %d\n", static_cast<int>(id));
    return id;
}
