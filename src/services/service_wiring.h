// What the four services share when they start serving. Each bus-acquired callback connects
// a table of handlers to its skeleton's handler signals in table order and exports it. GDBus
// runs that callback before it requests the name: a call the bus queued while it started the
// daemon (bus activation) is delivered as soon as the name is owned and must find the object.
// Each name-acquired callback then tells the daemon the name is served.
#pragma once

#include <gio/gio.h>

struct HandlerRow {
    const char *signal;  // "handle-usb-configure", ...
    GCallback handler;   // nullptr: not served yet, the skeleton answers UnknownMethod
};

template <size_t N>
void connect_handlers(gpointer skeleton, const HandlerRow (&rows)[N])
{
    for (const auto &row : rows)
        if (row.handler)
            g_signal_connect(skeleton, row.signal, row.handler, nullptr);
}

// Exports `skeleton` at `path`; false with `error` set on failure.
bool export_skeleton(gpointer skeleton, GDBusConnection *connection, const char *path, GError **error);

// Each name-acquired callback ends with service_name_served(name); the daemon's hook counts
// them to tell a service manager once every name is served, whatever their order.
using ServedHook = void (*)(const char *name);
void service_set_served_hook(ServedHook hook);
void service_name_served(const char *name);
