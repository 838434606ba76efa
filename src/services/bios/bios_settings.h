// The settings object of SetBios, read into plain values: what the caller asked for, for the
// detected model. Reading has no effect on the BIOS.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "common/json_params.h"

#include "services/bios/bios_catalogue.h"

constexpr size_t bios_settings_password_size = 64;

// The parts of the stored auto-on schedule a request replaces.
struct AutoOnUpdate {
    std::optional<int> days;
    std::optional<int> hour;
    std::optional<int> minute;
};

struct BiosSettings {
    bool parsed = false;             // the text was a JSON object
    bool password_too_long = false;  // a password member does not fit its buffer: nothing may be sent
    char current_password[bios_settings_password_size] = {};
    char new_password[bios_settings_password_size] = {};
    AutoOnUpdate schedule;
    bool time_error = false;         // a time without a colon
    bool auto_power_unread = false;  // restore: the extract could not read time or days
    // By catalogue row; what was not given, or is not taken on the model, stays empty.
    std::array<std::optional<std::string>, bios_setting_count> texts;
    std::array<std::optional<int>, bios_setting_count> numbers;

    BiosSettings() = default;
    ~BiosSettings();  // clears the passwords
    BiosSettings(const BiosSettings &) = delete;
    BiosSettings &operator=(const BiosSettings &) = delete;
};

// Reads the settings object `params` for `model`. In restore mode (the text of an extract
// file) the auto-on time comes from the hour and minute members, otherwise from the time
// member; there a time or day list the extract could not read leaves the whole auto-power
// group out. A member holding what an extract writes for a setting it could not read ("err",
// "get ... err", an hour of "-1"), or a value of a type its setting cannot take, is skipped
// with a log line naming it. A switch given as 165 counts as not given.
void bios_settings_read(const JsonParams &params, bool restore_mode, const char *model, BiosSettings *settings);

// Copies the password member `member` into `buffer` (`size` bytes). A text that does not
// fit is not copied: false, logged without the text. Absent or not a text: the buffer stays
// empty and the result is true.
bool bios_password_member(const JsonParams &params, const char *member, char *buffer, size_t size);

