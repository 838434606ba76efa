// SetBios: writes the BIOS settings a caller gives, or those of an extract file (restore).
#pragma once

#include <string>

#include "services/bios/bios_state.h"

// The work of one call: true for "Success". `result_text` receives the per-setting account
// that is logged with the final result.
bool set_bios_run(BiosState &state, const char *para, std::string *result_text);
