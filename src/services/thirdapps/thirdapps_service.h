// com.corvo.thirdapps: name ownership, handler wiring and the start-up restore of the
// add-on components' state.
#pragma once

#include <glib.h>

#include "services/thirdapps/app_status.h"  // init_app_status, run before the names are requested

// Requests com.corvo.thirdapps on the system bus; returns the owner id.
guint thirdapps_service_start();
