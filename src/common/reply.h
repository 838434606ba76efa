// The reply texts of the four services, one function per documented shape, and the two ways
// a handler ends a call. Everything inserted into a JSON reply goes through json_escape, so
// the reply stays well-formed whatever the inserted text holds; ordinary texts are unchanged.
#pragma once

#include <gio/gio.h>
#include <string>
#include <string_view>

// Escapes `text` for use inside a JSON string (no surrounding quotes): quote, backslash and
// control characters are escaped, bytes that are not valid UTF-8 become U+FFFD.
std::string json_escape(std::string_view text);

// `text` as a JSON string, with the quotes.
std::string json_quote(std::string_view text);

// {"Result":"<result>"}: the settings service ("Success", "Fail", or a value).
std::string reply_result(std::string_view result);

// {"result":"Success"|"FAILED", "message": <message>}: the BIOS reads and UpdateBios.
// `message` is a JSON text inserted as it is.
std::string reply_read(bool success, std::string_view message);

// {"result":"Success"|"FAILED"}: SetBios and SetHeadset.
std::string reply_status(bool success);

// {"result": "ok"} or {"result": "failed"}: the add-on apps service.
std::string reply_app(bool ok);

// {"result" : "Success","message": <list>}: GetCameraInfo around its JSON device list.
std::string reply_camera_list(std::string_view list);

// The error number of SetCameraFormat as its whole reply (0: success).
std::string reply_error_number(int error);

// Completes a method call whose single out-argument is the reply text, exactly once. The
// text is made valid UTF-8 first, as a D-Bus string must be, and the call's audit line is
// written before the reply leaves (a caller holding the reply can rely on the log).
// Returns TRUE.
gboolean complete_with_reply(GDBusMethodInvocation *invocation, std::string_view reply);

// Leaves the call unhandled, after the call's audit line says "declined": the call gate
// answers it with the UnknownMethod error, as the skeleton would. The handler returns what
// this returns (FALSE).
gboolean decline(GDBusMethodInvocation *invocation);
