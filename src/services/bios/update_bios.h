// UpdateBios: mounts the BIOS update medium.
#pragma once

#include "settings_dbus.h"

gboolean on_handle_update_bios(CorvoBios *object, GDBusMethodInvocation *invocation);
