#include "services/services.h"

#include <string>

#include "common/log.h"
#include "corvo-config.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_startup.h"
#include "services/call_gate.h"
#include "services/headset/headset_handlers.h"
#include "services/settings/settings_handlers.h"
#include "services/thirdapps/thirdapps_handlers.h"
#include "settings_dbus.h"

namespace {

struct HandlerRow {
    const char *signal;  // "handle-usb-configure", ...
    GCallback handler;
};

// Where a bus callback's line goes. Its text names the bus name as {name}, the service's
// user data as {data} and an error message as {error}; a text that is a resource id goes
// through the resource table with the error as its argument.
enum class Out { none, log, print, log_and_print };

struct CallbackLine {
    Out out;
    char level;
    const char *text;
};

struct ServiceRow {
    const char *bus_name;
    const char *object_path;
    const char *tag;           // of the callback lines
    const char *register_tag;  // of the line that reports the name request
    const char *user_data;     // shown as {data}; nullptr: none
    gpointer (*make_skeleton)();
    const HandlerRow *handlers;
    size_t handler_count;
    bool has_version;
    bool (*prepare)();  // start-up work before the request; false: not started
    CallbackLine bus_acquired;
    CallbackLine name_acquired;
    CallbackLine export_failed;
    CallbackLine name_served;  // after the name-acquired line
    CallbackLine name_lost;
};

// Connected in this order.
const HandlerRow settings_handlers[] = {
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
    {"handle-get-settings", G_CALLBACK(on_handle_get_settings)},
};
const HandlerRow bios_handlers[] = {
    {"handle-get-bios", G_CALLBACK(on_handle_get_bios)},
    {"handle-ext-bios", G_CALLBACK(on_handle_ext_bios)},
    {"handle-set-bios", G_CALLBACK(on_handle_set_bios)},
    {"handle-update-bios", G_CALLBACK(on_handle_update_bios)},
};
const HandlerRow headset_handlers[] = {
    {"handle-set-headset", G_CALLBACK(on_handle_set_headset)},
};
const HandlerRow thirdapps_handlers[] = {
    {"handle-set-app-status", G_CALLBACK(on_handle_set_app_status)},
    {"handle-enable-ucplugins", G_CALLBACK(on_handle_enable_ucplugins)},
};

constexpr CallbackLine no_line = {Out::none, 0, nullptr};
constexpr CallbackLine export_failed_line = {Out::log, 'D', "Error: Failed to export object. Reason: {error}.\n"};

// Requested in this order and released in the reverse one.
const ServiceRow services[] = {
    {
        .bus_name = "com.corvo.settings",
        .object_path = "/com/corvo/settings",
        .tag = log_tag::settings,
        .register_tag = log_tag::settings,
        .user_data = nullptr,
        .make_skeleton = []() -> gpointer { return corvo_settings_skeleton_new(); },
        .handlers = settings_handlers,
        .handler_count = G_N_ELEMENTS(settings_handlers),
        .has_version = true,
        .prepare = nullptr,
        .bus_acquired = {Out::log, 'V', "bus acquired for {name}\n."},
        .name_acquired = {Out::log, 'D', "name acquired for {name}\n."},
        .export_failed = {Out::log, 'E', "$(export_fail)"},
        .name_served = {Out::log, 'V', "{name} name aquired done.\n"},
        .name_lost = {Out::log, 'D', "name lost for {name}.\n"},
    },
    {
        .bus_name = "com.corvo.bios",
        .object_path = "/com/corvo/bios",
        .tag = log_tag::bios,
        .register_tag = log_tag::system,
        .user_data = "bios",
        .make_skeleton = []() -> gpointer { return corvo_bios_skeleton_new(); },
        .handlers = bios_handlers,
        .handler_count = G_N_ELEMENTS(bios_handlers),
        .has_version = true,
        .prepare = bios_prepare,
        .bus_acquired = {Out::print, 0, "on_bios_bus_acquired name = {name}, the user_data = {data}\n"},
        .name_acquired = {Out::log, 'D', "gbus_name_acquired_callback name = {name}, the user_data = {data}\n"},
        .export_failed = export_failed_line,
        .name_served = no_line,
        .name_lost = {Out::print, 0, "on_bios_name_lost has been invoked, name = {name}\n"},
    },
    {
        .bus_name = "com.corvo.headset",
        .object_path = "/com/corvo/headset",
        .tag = log_tag::headset,
        .register_tag = log_tag::headset,
        .user_data = "headset",
        .make_skeleton = []() -> gpointer { return corvo_headset_skeleton_new(); },
        .handlers = headset_handlers,
        .handler_count = G_N_ELEMENTS(headset_handlers),
        .has_version = true,
        .prepare = nullptr,
        .bus_acquired = {Out::log_and_print, 'D', "on_headset_bus_acquired name = {name}, the user_data = {data}\n"},
        .name_acquired = {Out::log, 'D', "gbus_name_headset_acquired_callback name = {name}, the user_data = {data}\n"},
        .export_failed = export_failed_line,
        .name_served = no_line,
        .name_lost = {Out::log, 'D', "on_headset_name_lost has been invoked, name = {name}\n"},
    },
    {
        .bus_name = "com.corvo.thirdapps",
        .object_path = "/com/corvo/thirdapps",
        .tag = log_tag::thirdapps,
        .register_tag = log_tag::thirdapps,
        .user_data = "thirdapps",
        .make_skeleton = []() -> gpointer { return corvo_thirdapps_skeleton_new(); },
        .handlers = thirdapps_handlers,
        .handler_count = G_N_ELEMENTS(thirdapps_handlers),
        .has_version = false,
        .prepare = nullptr,
        .bus_acquired = no_line,
        .name_acquired = {Out::log, 'D', "gbus_name_thirdapps_acquired_callback name: {name},user_data: {data}\n"},
        .export_failed = export_failed_line,
        .name_served = no_line,
        .name_lost = {Out::log, 'D', "gbus_name_lost_callback has been invoked, name: {name}\n"},
    },
};
constexpr size_t service_count = G_N_ELEMENTS(services);

// Owner ids (0: not requested) and the skeletons, which live until the process ends.
guint owner_ids[service_count];
gpointer skeletons[service_count];
size_t names_served = 0;
void (*on_all_served)() = nullptr;

void replace_all(std::string &text, std::string_view field, const char *value)
{
    for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at))
        text.replace(at, field.size(), value ? value : "(null)");
}

void say(const ServiceRow &row, const CallbackLine &line, const char *name, const char *error = nullptr)
{
    if (line.out == Out::none)
        return;
    if (g_str_has_prefix(line.text, "$(")) {
        wlog_res(line.level, row.tag, line.text, error);
        return;
    }
    std::string text = line.text;
    replace_all(text, "{name}", name);
    replace_all(text, "{data}", row.user_data);
    replace_all(text, "{error}", error);
    if (line.out != Out::print)
        wlog(line.level, row.tag, "%s", text.c_str());
    if (line.out != Out::log)
        print_diagnostic("%s", text.c_str());
}

// GDBus runs this before it requests the name. A call the bus queued while it started the
// daemon (bus activation) is delivered as soon as the name is owned, so the object must be
// exported by then.
void on_bus_acquired(GDBusConnection *connection, const char *name, gpointer data)
{
    const ServiceRow &row = *static_cast<const ServiceRow *>(data);
    say(row, row.bus_acquired, name);
    gpointer skeleton = row.make_skeleton();
    skeletons[&row - services] = skeleton;
    for (size_t i = 0; i < row.handler_count; ++i)
        call_gate_connect(skeleton, row.handlers[i].signal, row.handlers[i].handler);
    if (row.has_version)
        g_object_set(skeleton, "version", CORVO_VERSION, nullptr);
    g_autoptr(GError) error = nullptr;
    if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), connection, row.object_path, &error))
        say(row, row.export_failed, name, error->message);
}

void on_name_acquired(GDBusConnection *, const char *name, gpointer data)
{
    const ServiceRow &row = *static_cast<const ServiceRow *>(data);
    say(row, row.name_acquired, name);
    say(row, row.name_served, name);
    if (++names_served == service_count && on_all_served)
        on_all_served();
}

void on_name_lost(GDBusConnection *, const char *name, gpointer data)
{
    const ServiceRow &row = *static_cast<const ServiceRow *>(data);
    say(row, row.name_lost, name);
}

}  // namespace

bool services_request(void (*all_served)())
{
    on_all_served = all_served;
    bool all = true;
    for (size_t i = 0; i < service_count; ++i) {
        const ServiceRow &row = services[i];
        if (row.prepare && !row.prepare()) {
            all = false;
            continue;
        }
        owner_ids[i] = g_bus_own_name(G_BUS_TYPE_SYSTEM, row.bus_name, G_BUS_NAME_OWNER_FLAGS_NONE, on_bus_acquired,
                                      on_name_acquired, on_name_lost, const_cast<ServiceRow *>(&row), nullptr);
        wlog('D', row.register_tag, "register %s, bus-name-id: %d\n", row.bus_name, static_cast<int>(owner_ids[i]));
        all = all && owner_ids[i] != 0;
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
