// Audit trail: who asked for what. Every call of a method that can change the machine writes,
// as it completes, one line at level 'N' with tag "audit":
//     com.corvo.settings.UsbConfigure uid=0 pid=4242 keys=USBWhiteListClass,EnableUDiskReadOnly Success
// (interface.method, the caller's user and process ids as the bus knew them when the call
// arrived, the member names of the JSON parameter, outcome). Values never appear in it, so
// no password does either. A call refused before any handler ran writes its line whatever
// the method ("declined": the caller could not be identified; "denied": not authorised).
#pragma once

#include <gio/gio.h>
#include <string>
#include <string_view>

// How many member names a line lists before it ends the list with ",…".
constexpr unsigned max_audit_keys = 8;

// The member names of a JSON object text, in order, comma-separated, at most max_audit_keys
// of them; each byte outside [A-Za-z0-9_.-] is written as \xNN. Empty for any other text.
std::string audit_keys(const char *parameter);

// The audit line of a call completed with `reply`; nothing for a method that only reads.
void audit_reply(GDBusMethodInvocation *invocation, std::string_view reply);

// The audit line of a call the handler declined (the caller gets UnknownMethod).
void audit_declined(GDBusMethodInvocation *invocation);

// The audit line of a call refused before its handler ran, with `outcome` as its last word.
void audit_refused(GDBusMethodInvocation *invocation, const char *outcome);
