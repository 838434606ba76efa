// SetHeadset of com.corvo.headset: enables or disables the Jabra and EPOS companion
// applications, installs their configuration files and starts them.
#pragma once

#include <gio/gio.h>

#include "settings_dbus.h"

// Completes the call with {"result":"Success"|"FAILED"} and returns TRUE; returns FALSE
// without completing it when a configuration path holds a character the applications'
// start-up scripts cannot take, so the caller gets the UnknownMethod error.
gboolean on_handle_set_headset(CorvoHeadset *object, GDBusMethodInvocation *invocation, const gchar *para);
