// com.corvo.settings: name ownership and handler wiring.
#pragma once

#include <glib.h>

// Requests com.corvo.settings on the system bus; returns the owner id (0: not requested).
guint settings_service_start();
