// GetBios: reads the BIOS settings a caller names, or the model's default set.
#pragma once

#include <string>

#include "services/bios/bios_state.h"

// The reply of one call.
std::string get_bios_reply(const BiosState &state, const char *para);
