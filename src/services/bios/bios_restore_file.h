// The CMOS extract file as SetBios reads it back: 1024 bytes holding one JSON object text
// followed by zero bytes.
#pragma once

#include <cstddef>

#include "services/bios/bios_settings.h"

constexpr size_t bios_extract_file_size = 1024;

// Reads the settings of an extract file for `model` from its first bytes (`size` of them;
// only the first bios_extract_file_size count). False, with `settings` untouched, when the
// text does not end within them. Password members, in any letter case, are skipped with a
// log line naming them: a restore verifies with the caller's restore password and never sets
// one.
bool bios_restore_file_read(const char *bytes, size_t size, const char *model, BiosSettings *settings);
