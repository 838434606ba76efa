// What the four name-acquired callbacks share: connect a table of handlers to a skeleton's
// handler signals in table order, and export the skeleton.
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
