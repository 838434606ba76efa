// The settings object of SetBios, read into plain values: what the caller asked for, for the
// detected model. Reading has no effect on the BIOS.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "services/bios/bios_writers.h"

constexpr size_t BIOS_SETTINGS_PASSWORD_SIZE = 64;
// A switch slot holding this value was not given (or is ignored for the model).
constexpr int BIOS_SWITCH_NOT_GIVEN = 165;

struct BiosSettings {
    bool parsed = false;  // the text was a JSON object
    char current_password[BIOS_SETTINGS_PASSWORD_SIZE] = {};
    char new_password[BIOS_SETTINGS_PASSWORD_SIZE] = {};
    int days_mask = -1;       // -1: the stored days stay
    bool time_error = false;  // a time without a colon
    bool hour_given = false;
    int hour = 0;
    bool minute_given = false;
    int minute = 0;
    std::array<std::string, BIOS_TEXT_COUNT> texts;  // empty: not given
    int dock_warning = -1;                           // read on "Vantor 70" only
    std::array<int, BIOS_SWITCH_COUNT> switches;

    BiosSettings() { switches.fill(BIOS_SWITCH_NOT_GIVEN); }
};

// Reads `text`, the settings object. In restore mode (the text of an extract file) the
// auto-on time comes from the hour and minute members, otherwise from the time member.
void bios_settings_read(const char *text, bool restore_mode, BiosSettings *settings);

// A decimal number as the time members hold it: leading blanks and a sign allowed, reading
// stops at the first other character, no digits gives 0.
int bios_settings_number(const char *text);
