// How a value SetBios accepts for a catalogue row becomes BIOS writes. Each writer appends
// the row's fragment to the result text of the call, which is only logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "services/bios/bios_catalogue.h"
#include "services/bios/bios_state.h"

// What every write of one SetBios call shares.
struct BiosWriteCall {
    BiosState &state;  // the model, the secure boot flags, the stored auto-on schedule
    uint32_t key;      // the security key of the verified password
    std::string *result;
};

// A text row: applies the first word `value` begins with; the auto-power row also writes the
// stored schedule. False only when a write failed; a value that matches no word is refused
// (logged, fragment appended) and does not count as a failure.
bool bios_write_text(const BiosSetting &row, const char *value, BiosWriteCall &call);

// A switch row (1 or 0) or the dock warning. False when the value is neither 0 nor 1 or the
// write failed; the dock warning refuses without failing (`value` nullopt: not given).
bool bios_write_switch(const BiosSetting &row, std::optional<int> value, BiosWriteCall &call);

// The writes alone of a switch row for `on`, with their own failure message. 0 or -1.
int bios_switch_setting(const BiosSetting &row, BiosState &state, bool on, uint32_t key);
