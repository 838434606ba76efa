// GetBios: reads the BIOS settings a caller names, or the model's default set.
#pragma once

#include <string>

#include "settings_dbus.h"

gboolean on_handle_get_bios(CorvoBios *object, GDBusMethodInvocation *invocation, const gchar *para);

// The reply of one call.
std::string get_bios_reply(const char *para);
