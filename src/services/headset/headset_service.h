// com.corvo.headset: name ownership and handler wiring.
#pragma once

#include <glib.h>

// Requests com.corvo.headset on the system bus; returns the owner id.
guint headset_service_start();
