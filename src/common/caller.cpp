#include "common/caller.h"

namespace {

constexpr const char *invocation_key = "corvo-caller";

// Unique names are never reused on a bus, so a cached entry cannot go stale; the cap only
// bounds the table when many short-lived clients come and go.
constexpr guint max_cached_callers = 64;
GHashTable *cached_callers = nullptr;  // unique name -> CallerCredentials, lives until the process ends

GHashTable *cache()
{
    if (!cached_callers)
        cached_callers = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                               [](gpointer entry) { delete static_cast<CallerCredentials *>(entry); });
    return cached_callers;
}

void attach(GDBusMethodInvocation *invocation, const CallerCredentials &caller)
{
    g_object_set_data_full(G_OBJECT(invocation), invocation_key, new CallerCredentials(caller),
                           [](gpointer entry) { delete static_cast<CallerCredentials *>(entry); });
}

bool read_reply(GVariant *reply, CallerCredentials *caller)
{
    g_autoptr(GVariant) properties = g_variant_get_child_value(reply, 0);
    return g_variant_lookup(properties, "UnixUserID", "u", &caller->uid) &&
           g_variant_lookup(properties, "ProcessID", "u", &caller->pid);
}

struct Lookup {
    GDBusMethodInvocation *invocation;  // owned reference
    CallerKnown known;
    gpointer data;
};

void on_credentials(GObject *connection, GAsyncResult *result, gpointer user_data)
{
    Lookup *lookup = static_cast<Lookup *>(user_data);
    g_autoptr(GDBusMethodInvocation) invocation = lookup->invocation;
    const CallerKnown known = lookup->known;
    const gpointer data = lookup->data;
    delete lookup;

    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, nullptr);
    CallerCredentials caller;
    if (!reply || !read_reply(reply, &caller)) {
        known(invocation, nullptr, data);  // asked again on the caller's next call
        return;
    }
    GHashTable *table = cache();
    if (g_hash_table_size(table) >= max_cached_callers)
        g_hash_table_remove_all(table);
    g_hash_table_replace(table, g_strdup(g_dbus_method_invocation_get_sender(invocation)),
                         new CallerCredentials(caller));
    attach(invocation, caller);
    known(invocation, caller_of(invocation), data);
}

}  // namespace

void caller_lookup(GDBusMethodInvocation *invocation, CallerKnown known, gpointer data)
{
    const char *sender = g_dbus_method_invocation_get_sender(invocation);
    if (!sender) {  // a peer-to-peer connection: no bus to ask
        known(invocation, nullptr, data);
        return;
    }
    if (const auto *cached = static_cast<const CallerCredentials *>(g_hash_table_lookup(cache(), sender))) {
        attach(invocation, *cached);
        known(invocation, caller_of(invocation), data);
        return;
    }
    g_dbus_connection_call(g_dbus_method_invocation_get_connection(invocation), "org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionCredentials",
                           g_variant_new("(s)", sender), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                           on_credentials,
                           new Lookup{static_cast<GDBusMethodInvocation *>(g_object_ref(invocation)), known, data});
}

const CallerCredentials *caller_of(GDBusMethodInvocation *invocation)
{
    return static_cast<const CallerCredentials *>(g_object_get_data(G_OBJECT(invocation), invocation_key));
}
