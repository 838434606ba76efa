// com.corvo.bios: start-up work, name ownership and handler wiring.
#pragma once

#include <glib.h>

// Prepares the BIOS service and requests com.corvo.bios; returns the owner id, or 0 when
// the service could not be prepared (the name is then not requested).
guint bios_service_start();

// The start-up work without the name request: buffers, mount point, model detection,
// fresh-install setup and the secure boot notice. False when the mount point could not be
// prepared (nothing after it ran).
bool bios_prepare();
