#include "services/services.h"

#include <type_traits>

#include "common/log.h"
#include "corvo-config.h"
#include "served_dbus.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_startup.h"
#include "services/call_gate.h"
#include "services/headset/headset_handlers.h"
#include "services/settings/admin_policy_restore.h"
#include "services/settings/settings_handlers.h"
#include "services/thirdapps/app_status.h"
#include "services/thirdapps/thirdapps_handlers.h"

namespace {

struct HandlerRow {
    const char *signal;  // "handle-usb-configure", ...
    GCallback handler;
};

// A handler row, checked against the generated interface: the second argument names the
// interface's member for the method (`&CorvoSettingsIface::handle_usb_configure`, ...),
// whose type is the one the skeleton calls the signal's handlers with, so a handler whose
// arguments drift from the interface description does not compile.
template <typename Iface, typename Slot, typename Handler>
HandlerRow handler_row(const char *signal, Slot Iface::*, Handler *handler)
{
    static_assert(std::is_same_v<Slot, Handler *>, "the handler's type is not the interface's for its method");
    return {signal, G_CALLBACK(handler)};
}

// When a service's start-up work runs: the stored settings are re-applied before any name is
// requested, so no call can arrive half-way; other work runs just before the service's own
// name is requested.
enum class StartUp { before_any_name, before_own_name };

struct ServiceRow {
    const char *bus_name;
    const char *object_path;
    const char *register_tag;  // of the line that reports the name request
    gpointer (*make_skeleton)();
    const HandlerRow *handlers;
    size_t handler_count;
    bool has_version;
    bool (*start_up)();  // the service's start-up work; false: the service is not started
    StartUp start_up_when;
    // The service's own lines on the bus callbacks; bus_acquired may be nullptr (none).
    void (*bus_acquired)(const char *name);
    void (*name_acquired)(const char *name);
    void (*export_failed)(const char *error);
    void (*name_lost)(const char *name);
};

// Connected in this order.
const HandlerRow settings_handlers[] = {
    handler_row("handle-sysctl-generic", &CorvoSettingsIface::handle_sysctl_generic,
                on_handle_admin_policy_sysctl_generic),
    handler_row("handle-config-board-serial-port", &CorvoSettingsIface::handle_config_board_serial_port,
                on_handle_config_board_serial_port),
    handler_row("handle-set-terminal", &CorvoSettingsIface::handle_set_terminal, on_handle_admin_policy_set_terminal),
    handler_row("handle-usb-configure", &CorvoSettingsIface::handle_usb_configure,
                on_handle_admin_policy_usb_configure),
    handler_row("handle-usb-red-configure", &CorvoSettingsIface::handle_usb_red_configure,
                on_handle_admin_policy_usb_red_configure),
    handler_row("handle-vusb-property", &CorvoSettingsIface::handle_vusb_property,
                on_handle_admin_policy_vusb_property),
    handler_row("handle-eeeconfigure", &CorvoSettingsIface::handle_eeeconfigure, on_handle_admin_policy_eee_configure),
    handler_row("handle-update-loader-conf", &CorvoSettingsIface::handle_update_loader_conf,
                on_handle_admin_policy_update_loader_conf),
    handler_row("handle-sysctl", &CorvoSettingsIface::handle_sysctl, on_handle_admin_policy_sysctl),
    handler_row("handle-gkey-configure", &CorvoSettingsIface::handle_gkey_configure,
                on_handle_admin_policy_gkey_configure),
    handler_row("handle-rkey-configure", &CorvoSettingsIface::handle_rkey_configure,
                on_handle_admin_policy_rkey_configure),
    handler_row("handle-get-camera-info", &CorvoSettingsIface::handle_get_camera_info,
                on_handle_admin_policy_get_camera_info),
    handler_row("handle-set-camera-format", &CorvoSettingsIface::handle_set_camera_format,
                on_handle_admin_policy_set_camera_format),
    handler_row("handle-set-usb-uhid-driver", &CorvoSettingsIface::handle_set_usb_uhid_driver,
                on_handle_admin_policy_set_usb_uhid_driver),
    handler_row("handle-get-settings", &CorvoSettingsIface::handle_get_settings, on_handle_get_settings),
};
const HandlerRow bios_handlers[] = {
    handler_row("handle-get-bios", &CorvoBiosIface::handle_get_bios, on_handle_get_bios),
    handler_row("handle-ext-bios", &CorvoBiosIface::handle_ext_bios, on_handle_ext_bios),
    handler_row("handle-set-bios", &CorvoBiosIface::handle_set_bios, on_handle_set_bios),
    handler_row("handle-update-bios", &CorvoBiosIface::handle_update_bios, on_handle_update_bios),
};
const HandlerRow headset_handlers[] = {
    handler_row("handle-set-headset", &CorvoHeadsetIface::handle_set_headset, on_handle_set_headset),
};
const HandlerRow thirdapps_handlers[] = {
    handler_row("handle-set-app-status", &CorvoThirdappsIface::handle_set_app_status, on_handle_set_app_status),
    handler_row("handle-enable-ucplugins", &CorvoThirdappsIface::handle_enable_ucplugins, on_handle_enable_ucplugins),
};

void log_export_failed(const char *tag, const char *error)
{
    wlog('D', tag, "Error: Failed to export object. Reason: %s.\n", error);
}

// Requested in this order and released in the reverse one.
const ServiceRow services[] = {
    {
        .bus_name = "com.corvo.settings",
        .object_path = "/com/corvo/settings",
        .register_tag = log_tag::settings,
        .make_skeleton = []() -> gpointer { return corvo_settings_skeleton_new(); },
        .handlers = settings_handlers,
        .handler_count = G_N_ELEMENTS(settings_handlers),
        .has_version = true,
        .start_up = [] {
            admin_policy_restore();
            return true;
        },
        .start_up_when = StartUp::before_any_name,
        .bus_acquired = [](const char *name) { wlog('V', log_tag::settings, "bus acquired for %s\n.", name); },
        .name_acquired =
            [](const char *name) {
                wlog('D', log_tag::settings, "name acquired for %s\n.", name);
                wlog('V', log_tag::settings, "%s name aquired done.\n", name);
            },
        .export_failed = [](const char *error) { wlog_res('E', log_tag::settings, "$(export_fail)", error); },
        .name_lost = [](const char *name) { wlog('D', log_tag::settings, "name lost for %s.\n", name); },
    },
    {
        .bus_name = "com.corvo.bios",
        .object_path = "/com/corvo/bios",
        .register_tag = log_tag::system,
        .make_skeleton = []() -> gpointer { return corvo_bios_skeleton_new(); },
        .handlers = bios_handlers,
        .handler_count = G_N_ELEMENTS(bios_handlers),
        .has_version = true,
        .start_up = bios_prepare,
        .start_up_when = StartUp::before_own_name,
        .bus_acquired =
            [](const char *name) { print_diagnostic("on_bios_bus_acquired name = %s, the user_data = bios\n", name); },
        .name_acquired =
            [](const char *name) {
                wlog('D', log_tag::bios, "gbus_name_acquired_callback name = %s, the user_data = bios\n", name);
            },
        .export_failed = [](const char *error) { log_export_failed(log_tag::bios, error); },
        .name_lost = [](const char *name) { print_diagnostic("on_bios_name_lost has been invoked, name = %s\n", name); },
    },
    {
        .bus_name = "com.corvo.headset",
        .object_path = "/com/corvo/headset",
        .register_tag = log_tag::headset,
        .make_skeleton = []() -> gpointer { return corvo_headset_skeleton_new(); },
        .handlers = headset_handlers,
        .handler_count = G_N_ELEMENTS(headset_handlers),
        .has_version = true,
        .start_up = nullptr,
        .start_up_when = StartUp::before_own_name,
        .bus_acquired =
            [](const char *name) {
                wlog('D', log_tag::headset, "on_headset_bus_acquired name = %s, the user_data = headset\n", name);
                print_diagnostic("on_headset_bus_acquired name = %s, the user_data = headset\n", name);
            },
        .name_acquired =
            [](const char *name) {
                wlog('D', log_tag::headset, "gbus_name_headset_acquired_callback name = %s, the user_data = headset\n",
                     name);
            },
        .export_failed = [](const char *error) { log_export_failed(log_tag::headset, error); },
        .name_lost =
            [](const char *name) {
                wlog('D', log_tag::headset, "on_headset_name_lost has been invoked, name = %s\n", name);
            },
    },
    {
        .bus_name = "com.corvo.thirdapps",
        .object_path = "/com/corvo/thirdapps",
        .register_tag = log_tag::thirdapps,
        .make_skeleton = []() -> gpointer { return corvo_thirdapps_skeleton_new(); },
        .handlers = thirdapps_handlers,
        .handler_count = G_N_ELEMENTS(thirdapps_handlers),
        .has_version = false,
        .start_up = [] {
            init_app_status();
            return true;
        },
        .start_up_when = StartUp::before_any_name,
        .bus_acquired = nullptr,
        .name_acquired =
            [](const char *name) {
                wlog('D', log_tag::thirdapps, "gbus_name_thirdapps_acquired_callback name: %s,user_data: thirdapps\n",
                     name);
            },
        .export_failed = [](const char *error) { log_export_failed(log_tag::thirdapps, error); },
        .name_lost =
            [](const char *name) {
                wlog('D', log_tag::thirdapps, "gbus_name_lost_callback has been invoked, name: %s\n", name);
            },
    },
};
constexpr size_t service_count = G_N_ELEMENTS(services);

// Owner ids (0: not requested) and the skeletons, which live until the process ends.
guint owner_ids[service_count];
gpointer skeletons[service_count];
size_t names_served = 0;
void (*on_all_served)() = nullptr;

// GDBus runs this before it requests the name. A call the bus queued while it started the
// daemon (bus activation) is delivered as soon as the name is owned, so the object must be
// exported by then.
void on_bus_acquired(GDBusConnection *connection, const char *name, gpointer data)
{
    const ServiceRow &row = *static_cast<const ServiceRow *>(data);
    if (row.bus_acquired)
        row.bus_acquired(name);
    gpointer skeleton = row.make_skeleton();
    skeletons[&row - services] = skeleton;
    for (size_t i = 0; i < row.handler_count; ++i)
        call_gate_connect(skeleton, row.handlers[i].signal, row.handlers[i].handler);
    if (row.has_version)
        g_object_set(skeleton, "version", CORVO_VERSION, nullptr);
    g_autoptr(GError) error = nullptr;
    if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), connection, row.object_path, &error))
        row.export_failed(error->message);
}

void on_name_acquired(GDBusConnection *, const char *name, gpointer data)
{
    const ServiceRow &row = *static_cast<const ServiceRow *>(data);
    row.name_acquired(name);
    if (++names_served == service_count && on_all_served)
        on_all_served();
}

void on_name_lost(GDBusConnection *, const char *name, gpointer data)
{
    static_cast<const ServiceRow *>(data)->name_lost(name);
}

// False when the row's start-up work belongs to `when` and failed.
bool started(const ServiceRow &row, StartUp when)
{
    return !row.start_up || row.start_up_when != when || row.start_up();
}

}  // namespace

bool services_request(void (*all_served)())
{
    on_all_served = all_served;
    bool failed[service_count];
    for (size_t i = 0; i < service_count; ++i)
        failed[i] = !started(services[i], StartUp::before_any_name);
    bool all = true;
    for (size_t i = 0; i < service_count; ++i) {
        const ServiceRow &row = services[i];
        if (failed[i] || !started(row, StartUp::before_own_name)) {
            all = false;
            continue;
        }
        owner_ids[i] = g_bus_own_name(G_BUS_TYPE_SYSTEM, row.bus_name, G_BUS_NAME_OWNER_FLAGS_NONE, on_bus_acquired,
                                      on_name_acquired, on_name_lost, const_cast<ServiceRow *>(&row), nullptr);
        wlog('D', row.register_tag, "register %s, bus-name-id: %d\n", row.bus_name, static_cast<int>(owner_ids[i]));
    }
    return all;
}

void services_release()
{
    for (size_t i = service_count; i-- > 0;) {
        if (owner_ids[i])
            g_bus_unown_name(owner_ids[i]);
        owner_ids[i] = 0;
    }
}
