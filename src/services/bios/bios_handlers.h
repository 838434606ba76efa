// Handlers of com.corvo.bios, one per method, each in the file named after its method. Each
// completes its call exactly once and returns TRUE, or declines it (see reply.h).
#pragma once

#include <gio/gio.h>

#include "served_dbus.h"

// get_bios.cpp, ext_bios.cpp, set_bios.cpp, update_bios.cpp.
gboolean on_handle_get_bios(CorvoBios *object, GDBusMethodInvocation *invocation, const gchar *para);
gboolean on_handle_ext_bios(CorvoBios *object, GDBusMethodInvocation *invocation, const gchar *para);
gboolean on_handle_set_bios(CorvoBios *object, GDBusMethodInvocation *invocation, const gchar *para);
gboolean on_handle_update_bios(CorvoBios *object, GDBusMethodInvocation *invocation);
