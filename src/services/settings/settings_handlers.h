// Handlers of com.corvo.settings, one per method. Each completes its call exactly once and
// returns TRUE.
#pragma once

#include <gio/gio.h>

#include "settings_dbus.h"
