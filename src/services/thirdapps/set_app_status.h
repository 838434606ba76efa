// SetAppStatus of com.corvo.thirdapps: switches a named add-on component on or off.
#pragma once

#include <gio/gio.h>

#include "settings_dbus.h"

// Completes the call with {"result": "ok"} (unknown names included) or, when the
// parameter is not JSON, {"result": "failed"}; returns TRUE.
gboolean on_handle_set_app_status(CorvoThirdapps *object, GDBusMethodInvocation *invocation, const gchar *para);
