// GetBios: reads the BIOS settings a caller names, or the model's default set.
#pragma once

#include <string>

// The reply of one call.
std::string get_bios_reply(const char *para);
