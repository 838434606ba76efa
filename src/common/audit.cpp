#include "common/audit.h"

#include "common/caller.h"
#include "common/json_params.h"
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

std::string id_text(const CallerCredentials *caller, guint32 CallerCredentials::*id)
{
    return caller ? std::to_string(caller->*id) : "?";
}

// Characters a member name keeps as they are; every other byte is written as \xNN, so a name
// cannot end the field, forge another one or reach the log as a control character.
bool plain_name_char(char c)
{
    return g_ascii_isalnum(c) || c == '_' || c == '-' || c == '.';
}

std::string escaped_byte(unsigned char byte)
{
    constexpr char hex[] = "0123456789abcdef";
    return {'\\', 'x', hex[byte >> 4], hex[byte & 0xf]};
}

void write_line(GDBusMethodInvocation *invocation, const char *outcome)
{
    const CallerCredentials *caller = caller_of(invocation);
    const char *parameter = nullptr;
    GVariant *parameters = g_dbus_method_invocation_get_parameters(invocation);
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)")))
        g_variant_get(parameters, "(&s)", &parameter);
    wlog('N', log_tag::audit, "%s.%s uid=%s pid=%s keys=%s %s\n",
         g_dbus_method_invocation_get_interface_name(invocation), g_dbus_method_invocation_get_method_name(invocation),
         id_text(caller, &CallerCredentials::uid).c_str(), id_text(caller, &CallerCredentials::pid).c_str(),
         audit_keys(parameter ? parameter : "").c_str(), outcome);
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

}  // namespace

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

std::string audit_keys(const char *parameter)
{
    const JsonParams params(parameter);
    JsonObject *object = params.object();
    if (!object)
        return "";
    std::string keys;
    JsonObjectIter iter;
    const char *name = nullptr;
    json_object_iter_init_ordered(&iter, object);
    for (guint count = 0; json_object_iter_next_ordered(&iter, &name, nullptr); ++count) {
        if (count == max_audit_keys) {
            keys += ",\xe2\x80\xa6";  // U+2026
            break;
        }
        if (count > 0)
            keys += ',';
        for (const char *c = name; *c; ++c) {
            if (plain_name_char(*c))
                keys += *c;
            else
                keys += escaped_byte(static_cast<unsigned char>(*c));
        }
    }
    return keys;
}

void audit_refused(GDBusMethodInvocation *invocation, const char *outcome)
{
    write_line(invocation, outcome);
}
