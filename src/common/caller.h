// Who is calling: the caller's user and process ids as the bus knows them, asked for when a
// call arrives and kept with the call, so the audit line and the authorisation check see the
// process that sent it, whatever it does afterwards.
#pragma once

#include <gio/gio.h>

struct CallerCredentials {
    guint32 uid = 0;
    guint32 pid = 0;
};

using CallerKnown = void (*)(GDBusMethodInvocation *invocation, const CallerCredentials *caller, gpointer data);

// Finds the sender's credentials (in the per-caller cache, else by asking the bus without
// blocking), attaches them to `invocation` and calls `known` on the main loop with them, or
// with null when the bus could not tell both ids (the sender is gone, or a bus without
// them). A cached caller is answered before this returns.
void caller_lookup(GDBusMethodInvocation *invocation, CallerKnown known, gpointer data);

// The credentials caller_lookup attached to `invocation`; null when none were.
const CallerCredentials *caller_of(GDBusMethodInvocation *invocation);
