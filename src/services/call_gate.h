// The gate every method call passes before its handler acts: the caller is identified (user
// and process ids from the bus) and, unless it is root, authorised through the polkit
// authority for the action its method belongs to. Both steps run without blocking, so the
// daemon serves other calls while one waits; handlers still run one at a time on the main
// loop. A refused call is answered here, audited, and never reaches its handler.
#pragma once

#include <gio/gio.h>

// Connects `handler` to the method signal `signal` ("handle-usb-configure", ...) of a
// generated interface skeleton, behind the gate. The handler keeps the signal's own
// signature and return value: FALSE leaves the call unhandled (UnknownMethod).
void call_gate_connect(gpointer skeleton, const char *signal, GCallback handler);
