#include "ctl/bus.h"

#include <cstring>
#include <iterator>

#include "ctl/auth_agent.h"
#include "served_dbus.h"

namespace {

// Properties are read on demand with the caller's timeout; no signals are needed.
constexpr auto proxy_flags =
    static_cast<GDBusProxyFlags>(G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES | G_DBUS_PROXY_FLAGS_DO_NOT_CONNECT_SIGNALS);

template <auto make>
GDBusProxy *new_proxy(GDBusConnection *connection, const char *bus_name, const char *object_path, GError **error)
{
    return G_DBUS_PROXY(make(connection, proxy_flags, bus_name, object_path, nullptr, error));
}

constexpr CtlService services[] = {
    {"settings", "com.corvo.settings", "/com/corvo/settings", corvo_settings_interface_info,
     new_proxy<corvo_settings_proxy_new_sync>},
    {"bios", "com.corvo.bios", "/com/corvo/bios", corvo_bios_interface_info, new_proxy<corvo_bios_proxy_new_sync>},
    {"headset", "com.corvo.headset", "/com/corvo/headset", corvo_headset_interface_info,
     new_proxy<corvo_headset_proxy_new_sync>},
    {"thirdapps", "com.corvo.thirdapps", "/com/corvo/thirdapps", corvo_thirdapps_interface_info,
     new_proxy<corvo_thirdapps_proxy_new_sync>},
};

// Local failures carry no D-Bus name; these are the names a D-Bus library gives them.
struct LocalErrorName {
    GQuark (*domain)();
    int code;
    const char *name;
};
constexpr LocalErrorName local_error_names[] = {
    {g_io_error_quark, G_IO_ERROR_TIMED_OUT, "org.freedesktop.DBus.Error.NoReply"},
    {g_io_error_quark, G_IO_ERROR_CLOSED, "org.freedesktop.DBus.Error.Disconnected"},
};
constexpr const char *no_server = "org.freedesktop.DBus.Error.NoServer";

bool interaction_allowed = false;

void fill_error(const GError *gerror, const char *fallback_name, BusError *error)
{
    g_autofree char *remote = g_dbus_error_get_remote_error(gerror);
    const char *name = remote;
    for (const auto &row : local_error_names)
        if (!name && g_error_matches(gerror, row.domain(), row.code))
            name = row.name;
    g_autofree char *encoded = nullptr;
    if (!name && fallback_name)
        name = fallback_name;
    if (!name)
        name = encoded = g_dbus_error_encode_gerror(gerror);
    g_autoptr(GError) copy = g_error_copy(gerror);
    g_dbus_error_strip_remote_error(copy);
    error->name = name;
    error->message = copy->message;
}

GDBusProxy *open_proxy(const CtlService &service, BusError *error)
{
    g_autoptr(GError) gerror = nullptr;
    g_autoptr(GDBusConnection) connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &gerror);
    if (!connection) {
        fill_error(gerror, no_server, error);
        return nullptr;
    }
    GDBusProxy *proxy = service.proxy_new(connection, service.bus_name, service.object_path, &gerror);
    if (!proxy)
        fill_error(gerror, nullptr, error);
    return proxy;
}

// The reply's single text, or the printed reply of any other shape.
char *reply_text(GVariant *reply)
{
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(s)"))) {
        const char *text = nullptr;
        g_variant_get(reply, "(&s)", &text);
        return g_strdup(text);
    }
    return g_variant_print(reply, FALSE);
}

}  // namespace

std::span<const CtlService> ctl_services()
{
    return services;
}

const CtlService *ctl_service_find(const char *name)
{
    for (const auto &service : services)
        if (strcmp(service.name, name) == 0)
            return &service;
    return nullptr;
}

void ctl_bus_allow_interaction(bool allowed)
{
    interaction_allowed = allowed;
}

char *ctl_bus_call(const CtlService &service, const char *method, const char *argument, int timeout_ms, BusError *error)
{
    g_autoptr(GDBusProxy) proxy = open_proxy(service, error);
    if (!proxy)
        return nullptr;
    if (interaction_allowed)
        ctl_auth_agent_start();
    GVariant *parameters = argument ? g_variant_new("(s)", argument) : nullptr;
    const GDBusCallFlags flags =
        interaction_allowed ? G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION : G_DBUS_CALL_FLAGS_NONE;
    g_autoptr(GError) gerror = nullptr;
    g_autoptr(GVariant) reply = g_dbus_proxy_call_sync(proxy, method, parameters, flags, timeout_ms, nullptr, &gerror);
    if (!reply) {
        fill_error(gerror, nullptr, error);
        return nullptr;
    }
    return reply_text(reply);
}

namespace {

struct PropertiesRead {
    CtlServiceState *state;
    int *pending;
};

void on_properties_read(GObject *connection, GAsyncResult *result, gpointer data)
{
    const auto *read = static_cast<PropertiesRead *>(data);
    g_autoptr(GError) gerror = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &gerror);
    const char *version = nullptr;
    if (!reply)
        fill_error(gerror, nullptr, &read->state->failure);
    else if (g_autoptr(GVariant) properties = g_variant_get_child_value(reply, 0);
             g_variant_lookup(properties, "version", "&s", &version))
        read->state->version = version;
    --*read->pending;
}

// The unique name that owns `bus_name`, or null when none does. Asking the bus never
// starts a service.
bool name_owner(GDBusConnection *connection, const char *bus_name, int timeout_ms, char **owner, BusError *error)
{
    *owner = nullptr;
    g_autoptr(GError) gerror = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
        g_variant_new("(s)", bus_name), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, timeout_ms, nullptr, &gerror);
    if (reply) {
        g_variant_get(reply, "(s)", owner);
        return true;
    }
    g_autofree char *remote = g_dbus_error_get_remote_error(gerror);
    if (g_strcmp0(remote, "org.freedesktop.DBus.Error.NameHasNoOwner") == 0)
        return true;
    fill_error(gerror, nullptr, error);
    return false;
}

}  // namespace

bool ctl_bus_states(int timeout_ms, std::vector<CtlServiceState> *states, BusError *error)
{
    states->assign(std::size(services), {});
    g_autoptr(GError) gerror = nullptr;
    g_autoptr(GDBusConnection) connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &gerror);
    if (!connection) {
        fill_error(gerror, no_server, error);
        return false;
    }
    std::vector<std::string> owners(std::size(services));
    for (size_t i = 0; i < std::size(services); ++i) {
        g_autofree char *owner = nullptr;
        if (!name_owner(connection, services[i].bus_name, timeout_ms, &owner, error))
            return false;
        (*states)[i].owned = owner != nullptr;
        owners[i] = owner ? owner : "";
    }
    // Sent to the owner's unique name, which is never activated. Every service answers
    // GetAll on its main loop: a daemon that is stopped or stuck does not answer.
    int pending = 0;
    PropertiesRead reads[std::size(services)];
    for (size_t i = 0; i < std::size(services); ++i) {
        if (!(*states)[i].owned)
            continue;
        reads[i] = {&(*states)[i], &pending};
        ++pending;
        g_dbus_connection_call(connection, owners[i].c_str(), services[i].object_path,
                               "org.freedesktop.DBus.Properties", "GetAll",
                               g_variant_new("(s)", services[i].info()->name), G_VARIANT_TYPE("(a{sv})"),
                               G_DBUS_CALL_FLAGS_NO_AUTO_START, timeout_ms, nullptr, on_properties_read, &reads[i]);
    }
    while (pending > 0)
        g_main_context_iteration(nullptr, TRUE);
    return true;
}
