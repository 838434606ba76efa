// EnableUCPlugins of com.corvo.thirdapps: switches unified-communications plug-ins on or
// off through the plug-in toggle script.
#pragma once

#include <gio/gio.h>

#include "settings_dbus.h"

// Completes the call with {"result": "ok"} when every plug-in's script could be run, else
// {"result": "failed"}; returns TRUE.
gboolean on_handle_enable_ucplugins(CorvoThirdapps *object, GDBusMethodInvocation *invocation, const gchar *json);
