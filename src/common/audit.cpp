#include "common/audit.h"

#include "common/log.h"

namespace {

struct MethodName {
    const char *interface;
    const char *method;
};

// Methods that change nothing; property reads never reach a handler.
constexpr MethodName read_only_methods[] = {
    {"com.corvo.bios", "GetBios"},
    {"com.corvo.settings", "GetCameraInfo"},
    {"com.corvo.settings", "GetSettings"},
};

bool audited(GDBusMethodInvocation *invocation)
{
    const char *interface = g_dbus_method_invocation_get_interface_name(invocation);
    const char *method = g_dbus_method_invocation_get_method_name(invocation);
    for (const auto &row : read_only_methods)
        if (g_strcmp0(interface, row.interface) == 0 && g_strcmp0(method, row.method) == 0)
            return false;
    return true;
}

struct Credentials {
    gint64 uid = -1;  // -1: the bus did not tell
    gint64 pid = -1;
};

// Unique names are never reused on a bus, so a cached entry cannot go stale; the cap only
// bounds the table when many short-lived clients come and go.
constexpr guint max_cached_callers = 64;
GHashTable *cached_callers = nullptr;  // unique name -> Credentials, lives until the process ends

Credentials ask_bus(GDBusConnection *connection, const char *sender)
{
    Credentials credentials;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionCredentials",
        g_variant_new("(s)", sender), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (!reply)
        return credentials;
    g_autoptr(GVariant) properties = g_variant_get_child_value(reply, 0);
    guint32 value = 0;
    if (g_variant_lookup(properties, "UnixUserID", "u", &value))
        credentials.uid = value;
    if (g_variant_lookup(properties, "ProcessID", "u", &value))
        credentials.pid = value;
    return credentials;
}

// At most one bus round trip per caller connection: later calls find it in the table.
Credentials caller_credentials(GDBusMethodInvocation *invocation)
{
    const char *sender = g_dbus_method_invocation_get_sender(invocation);
    if (!sender)
        return {};
    if (!cached_callers)
        cached_callers = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                               [](gpointer entry) { delete static_cast<Credentials *>(entry); });
    if (const auto *cached = static_cast<const Credentials *>(g_hash_table_lookup(cached_callers, sender)))
        return *cached;
    const Credentials credentials = ask_bus(g_dbus_method_invocation_get_connection(invocation), sender);
    if (credentials.uid < 0 && credentials.pid < 0)
        return credentials;  // asked again next time
    if (g_hash_table_size(cached_callers) >= max_cached_callers)
        g_hash_table_remove_all(cached_callers);
    g_hash_table_insert(cached_callers, g_strdup(sender), new Credentials(credentials));
    return credentials;
}

std::string id_text(gint64 id)
{
    return id < 0 ? "?" : std::to_string(id);
}

void write_line(GDBusMethodInvocation *invocation, const char *outcome)
{
    const Credentials caller = caller_credentials(invocation);
    wlog('N', log_tag::audit, "%s.%s uid=%s pid=%s %s\n", g_dbus_method_invocation_get_interface_name(invocation),
         g_dbus_method_invocation_get_method_name(invocation), id_text(caller.uid).c_str(), id_text(caller.pid).c_str(),
         outcome);
}

bool is_number(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    for (char c : text)
        if (!g_ascii_isdigit(c))
            return false;
    return true;
}

// Takes `expected` after any blanks from the front of `text`.
bool take(std::string_view &text, std::string_view expected)
{
    while (!text.empty() && g_ascii_isspace(text.front()))
        text.remove_prefix(1);
    if (text.substr(0, expected.size()) != expected)
        return false;
    text.remove_prefix(expected.size());
    return true;
}

}  // namespace

// Every reply object of the daemon has "Result" or "result" as its first member, so reading
// that one member is enough; parsing the whole reply would cost more than all the rest of a
// cheap call's own work. The string is kept as it stands in the reply, escapes included.
std::string audit_outcome(std::string_view reply)
{
    if (is_number(reply))
        return std::string(reply);
    std::string_view rest = reply;
    if (!take(rest, "{") || !(take(rest, "\"Result\"") || take(rest, "\"result\"")) || !take(rest, ":") ||
        !take(rest, "\""))
        return "reply";
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\')
            ++i;
        else if (rest[i] == '"')
            return std::string(rest.substr(0, i));
    }
    return "reply";
}

void audit_reply(GDBusMethodInvocation *invocation, std::string_view reply)
{
    if (audited(invocation))
        write_line(invocation, audit_outcome(reply).c_str());
}

void audit_declined(GDBusMethodInvocation *invocation)
{
    if (audited(invocation))
        write_line(invocation, "declined");
}
