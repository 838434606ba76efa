// GetBios: reads the BIOS settings a caller names, or the model's default set.
#pragma once

#include "settings_dbus.h"

gboolean on_handle_get_bios(CorvoBios *object, GDBusMethodInvocation *invocation, const gchar *para);
