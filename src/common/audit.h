// Audit trail: who changed what. Every call of a method that can change the machine writes,
// as it completes, one line at level 'N' with tag "audit":
//     com.corvo.settings.UsbConfigure uid=0 pid=4242 Success
// (interface.method, the caller's user and process ids as the bus knows them, outcome).
// Parameters never appear in it, so no password does either.
#pragma once

#include <gio/gio.h>
#include <string>
#include <string_view>

// The outcome word of a reply text: the "Result" (or "result") string that leads a reply
// object, a bare number as it stands, "reply" for anything else.
std::string audit_outcome(std::string_view reply);

// The audit line of a call completed with `reply`; nothing for a method that only reads.
void audit_reply(GDBusMethodInvocation *invocation, std::string_view reply);

// The audit line of a call the handler declined (the caller gets UnknownMethod).
void audit_declined(GDBusMethodInvocation *invocation);
