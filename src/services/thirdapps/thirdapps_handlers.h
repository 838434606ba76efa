// Handlers of com.corvo.thirdapps, one per method, each in the file named after its method.
// Each completes its call exactly once and returns TRUE.
#pragma once

#include <gio/gio.h>

#include "served_dbus.h"

// set_app_status.cpp: {"result": "ok"} (unknown names included), {"result": "failed"} when
// the parameter is not JSON.
gboolean on_handle_set_app_status(CorvoThirdapps *object, GDBusMethodInvocation *invocation, const gchar *para);
// enable_ucplugins.cpp: {"result": "ok"} when every plug-in's script could be run.
gboolean on_handle_enable_ucplugins(CorvoThirdapps *object, GDBusMethodInvocation *invocation, const gchar *json);
