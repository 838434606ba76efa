// How each setting value SetBios accepts becomes BIOS writes: text settings (a word such as
// "PowerOn") and switch settings (0 or 1). Each writer appends its fragment to the result
// text of the call, which is only logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The auto-on schedule of one SetBios request. What the request does not carry is not
// written: the BIOS keeps its own days and time, never values left by an earlier request.
struct AutoOnSchedule {
    std::optional<int> days;  // bit 0 Sunday .. bit 6 Saturday
    std::optional<int> hour;
    std::optional<int> minute;
};

// Text settings, in the order SetBios applies them.
enum BiosTextSetting : size_t {
    BIOS_TEXT_AC_RECOVERY,
    BIOS_TEXT_AUTO_POWER,
    BIOS_TEXT_WAKE_ON_LAN,
    BIOS_TEXT_MAC_PASS,
    BIOS_TEXT_DEEP_SLEEP,
    BIOS_TEXT_FASTBOOT,
    BIOS_TEXT_POST_TIME,
    BIOS_TEXT_KEYBOARD,
    BIOS_TEXT_COUNT,
};

// The settings-object member of a text setting ("DeviceKORACMOSACRecovery", ...).
const char *bios_text_member(BiosTextSetting setting);

// Applies `value`; the auto-power setting also writes the days and time of `schedule`. False
// only when a write failed; a value that matches no word is refused (logged, fragment
// appended) and does not count as a failure.
bool bios_write_text_setting(BiosTextSetting setting, const char *value, const AutoOnSchedule &schedule,
                             uint32_t security_key, std::string *result);

// The dock warning switch of "Vantor 70": 1 or 0; anything else (-1 when not given) is
// refused without counting as a failure. False only when the write failed.
bool bios_write_dock_warning(int value, uint32_t security_key, std::string *result);

// Switch settings, in the order SetBios applies them.
constexpr size_t BIOS_SWITCH_COUNT = 20;
const char *bios_switch_member(size_t index);

// Applies switch `index` with `value`. False when the value is neither 0 nor 1 or the write
// failed.
bool bios_write_switch(size_t index, int value, uint32_t security_key, std::string *result);
