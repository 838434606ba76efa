// Reply texts. Everything inserted into a JSON reply goes through json_escape so that the
// reply stays well-formed whatever the inserted text holds; ordinary texts are unchanged.
#pragma once

#include <gio/gio.h>
#include <string>
#include <string_view>

// Escapes `text` for use inside a JSON string (no surrounding quotes): quote, backslash and
// control characters are escaped, bytes that are not valid UTF-8 become U+FFFD.
std::string json_escape(std::string_view text);

// `text` as a JSON string, with the quotes.
std::string json_quote(std::string_view text);

// Makes `text` valid UTF-8 (invalid bytes become U+FFFD); a D-Bus string must be.
std::string utf8_sanitize(std::string_view text);

// `{"Result":"<result>"}`, the settings service's reply.
std::string reply_result(std::string_view result);

// Completes a method call whose single out-argument is the reply text, exactly once. The
// call's audit line is written first: a caller holding the reply can rely on the log.
gboolean complete_with_reply(GDBusMethodInvocation *invocation, std::string_view reply);

// Declines a method call: returns FALSE, so the interface answers UnknownMethod, after the
// call's audit line says "declined".
gboolean decline(GDBusMethodInvocation *invocation);
