#include "common/reply.h"

#include "common/audit.h"

std::string json_escape(std::string_view text)
{
    g_autofree char *valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out;
    out.reserve(text.size() + 8);
    for (const char *p = valid; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                char hex[8];
                g_snprintf(hex, sizeof hex, "\\u%04x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string json_quote(std::string_view text)
{
    return "\"" + json_escape(text) + "\"";
}

std::string reply_result(std::string_view result)
{
    return "{\"Result\":\"" + json_escape(result) + "\"}";
}

std::string reply_read(bool success, std::string_view message)
{
    std::string reply = success ? "{\"result\":\"Success\", \"message\": " : "{\"result\":\"FAILED\", \"message\": ";
    reply += message;
    reply += '}';
    return reply;
}

std::string reply_status(bool success)
{
    return success ? "{\"result\":\"Success\"}" : "{\"result\":\"FAILED\"}";
}

std::string reply_app(bool ok)
{
    return ok ? "{\"result\": \"ok\"}" : "{\"result\": \"failed\"}";
}

std::string reply_camera_list(std::string_view list)
{
    std::string reply = "{\"result\" : \"Success\",\"message\": ";
    reply += list;
    reply += '}';
    return reply;
}

std::string reply_error_number(int error)
{
    return std::to_string(error);
}

gboolean complete_with_reply(GDBusMethodInvocation *invocation, std::string_view reply)
{
    g_autofree char *text = g_utf8_make_valid(reply.data(), static_cast<gssize>(reply.size()));
    audit_reply(invocation, text);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", text));
    return TRUE;
}

gboolean decline(GDBusMethodInvocation *invocation)
{
    audit_declined(invocation);
    return FALSE;
}
