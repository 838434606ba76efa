#include "services/bios/bios_service.h"

#include <cstdio>

#include "common/log.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_models.h"
#include "services/bios/ext_bios.h"
#include "services/bios/get_bios.h"
#include "services/bios/set_bios.h"
#include "services/bios/smi_transport.h"
#include "services/bios/update_bios.h"
#include "services/service_wiring.h"
#include "settings_dbus.h"

namespace {

CorvoBios *bios_skeleton = nullptr;  // lives until the process ends

// Connected in this order; a row without a handler answers UnknownMethod.
const HandlerRow bios_handler_rows[] = {
    {"handle-get-bios", G_CALLBACK(on_handle_get_bios)},
    {"handle-ext-bios", G_CALLBACK(on_handle_ext_bios)},
    {"handle-set-bios", G_CALLBACK(on_handle_set_bios)},
    {"handle-update-bios", G_CALLBACK(on_handle_update_bios)},
};

void on_bios_bus_acquired(GDBusConnection *connection, const char *name, gpointer user_data)
{
    printf("%s name = %s, the user_data = %s\n", "on_bios_bus_acquired", name, static_cast<const char *>(user_data));
    bios_skeleton = corvo_bios_skeleton_new();
    connect_handlers(bios_skeleton, bios_handler_rows);
    g_object_set(bios_skeleton, "version", "0.1", nullptr);
    GError *error = nullptr;
    if (!export_skeleton(bios_skeleton, connection, "/com/corvo/bios", &error)) {
        _wlog('D', "bios", "Error: Failed to export object. Reason: %s.\n", error->message);
        g_clear_error(&error);
    }
}

void gbus_name_acquired_callback(GDBusConnection *, const char *name, gpointer user_data)
{
    _wlog('D', "bios", "%s name = %s, the user_data = %s\n", "gbus_name_acquired_callback", name,
          static_cast<const char *>(user_data));
    service_name_served(name);
}

void on_bios_name_lost(GDBusConnection *, const char *name, gpointer)
{
    printf("%s has been invoked, name = %s\n", "on_bios_name_lost", name);
}

// The secure boot state goes to the log at every start, fresh install or not.
void log_secure_boot_state()
{
    bios_read_token_by_name("secureboot");
    if (smi_request.output[1] == 1)
        _wlog_res('N', "system", "$(bios_secureboot_en)");
    else
        _wlog_res('N', "system", "$(bios_secureboot_dis)");
}

}  // namespace

bool bios_prepare()
{
    smi_buffers_init();
    secure_boot_init_marker = 0;
    bios_change_reboot_flag = 0;
    if (!bios_prepare_mount_point())
        return false;
    bios_detect_model();
    bios_fresh_install_setup();
    log_secure_boot_state();
    return true;
}

guint bios_service_start()
{
    if (!bios_prepare())
        return 0;
    static char user_data[] = "bios";
    const guint id = g_bus_own_name(G_BUS_TYPE_SYSTEM, "com.corvo.bios", G_BUS_NAME_OWNER_FLAGS_NONE,
                                    on_bios_bus_acquired, gbus_name_acquired_callback, on_bios_name_lost, user_data,
                                    nullptr);
    _wlog('D', "system", "register com.corvo.bios, bus-name-id: %d\n", static_cast<int>(id));
    return id;
}
