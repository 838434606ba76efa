// com.corvo.thirdapps: name ownership, handler wiring and the start-up restore of the
// add-on components' state.
#pragma once

#include <glib.h>

// Requests com.corvo.thirdapps on the system bus; returns the owner id.
guint thirdapps_service_start();

// Re-applies the stored state of the add-on components; called once before any bus name
// is requested.
void init_app_status();
