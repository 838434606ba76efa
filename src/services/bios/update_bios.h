// UpdateBios: mounts the BIOS update medium.
#pragma once

#include "settings_dbus.h"

gboolean on_handle_update_bios(CorvoBios *object, GDBusMethodInvocation *invocation);

// Prepares "/mnt/bios" and mounts the update medium on it, read-only when the medium is
// write-protected. False only when the mount point could not be prepared; the outcome of the
// mount itself is not judged.
bool update_bios_mount_medium();
