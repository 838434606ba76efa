// Handlers of com.corvo.headset, one per method, each in the file named after its method.
// Each completes its call exactly once and returns TRUE, or declines it (see reply.h).
#pragma once

#include <gio/gio.h>

#include "served_dbus.h"

// set_headset.cpp: declines a configuration path holding a character the applications'
// start-up scripts cannot take.
gboolean on_handle_set_headset(CorvoHeadset *object, GDBusMethodInvocation *invocation, const gchar *para);
