// ExtBios: exports the model's BIOS settings to an extract file, or reads the keys a caller
// names in the form SetBios takes them back.
#pragma once

#include <string>

#include "services/bios/bios_state.h"

// The reply of one call (the file, when asked for, is written before it returns).
std::string ext_bios_reply(const BiosState &state, const char *para);
