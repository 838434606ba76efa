#include "common/reply.h"

#include "common/audit.h"

namespace {

// Appends the valid UTF-8 prefix of `text` and returns how many bytes it covered.
size_t valid_utf8_prefix(std::string_view text)
{
    const char *end = nullptr;
    g_utf8_validate(text.data(), static_cast<gssize>(text.size()), &end);
    return static_cast<size_t>(end - text.data());
}

template <typename OnValidRun>
void walk_utf8(std::string_view text, std::string &out, OnValidRun on_valid)
{
    while (!text.empty()) {
        size_t valid = valid_utf8_prefix(text);
        on_valid(text.substr(0, valid), out);
        text.remove_prefix(valid);
        if (!text.empty()) {
            out += "\xEF\xBF\xBD";  // U+FFFD for the one byte that is not UTF-8 (or a NUL)
            text.remove_prefix(1);
        }
    }
}

}  // namespace

std::string json_escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    walk_utf8(text, out, [](std::string_view run, std::string &dest) {
        for (unsigned char c : run) {
            switch (c) {
            case '"': dest += "\\\""; break;
            case '\\': dest += "\\\\"; break;
            case '\n': dest += "\\n"; break;
            case '\r': dest += "\\r"; break;
            case '\t': dest += "\\t"; break;
            case '\b': dest += "\\b"; break;
            case '\f': dest += "\\f"; break;
            default:
                if (c < 0x20) {
                    char hex[8];
                    g_snprintf(hex, sizeof hex, "\\u%04x", c);
                    dest += hex;
                } else {
                    dest += static_cast<char>(c);
                }
            }
        }
    });
    return out;
}

std::string json_quote(std::string_view text)
{
    std::string out = "\"";
    out += json_escape(text);
    out += '"';
    return out;
}

std::string utf8_sanitize(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    walk_utf8(text, out, [](std::string_view run, std::string &dest) { dest.append(run); });
    return out;
}

std::string reply_result(std::string_view result)
{
    std::string out = "{\"Result\":\"";
    out += json_escape(result);
    out += "\"}";
    return out;
}

gboolean complete_with_reply(GDBusMethodInvocation *invocation, std::string_view reply)
{
    const std::string text = utf8_sanitize(reply);
    audit_reply(invocation, text);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", text.c_str()));
    return TRUE;
}

gboolean decline(GDBusMethodInvocation *invocation)
{
    audit_declined(invocation);
    return FALSE;
}
