// How each setting value SetBios accepts becomes BIOS writes: text settings (a word such as
// "PowerOn") and switch settings (0 or 1). Each setting's row also says for which models its
// member is read. Each writer appends its fragment to the result text of the call, which is
// only logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "services/bios/bios_state.h"


// Text settings, in the order SetBios applies them.
enum class BiosText : size_t {
    ac_recovery,
    auto_power,
    wake_on_lan,
    mac_pass,
    deep_sleep,
    fastboot,
    post_time,
    keyboard,
};
constexpr size_t bios_text_count = 8;

// The settings-object member of a text setting ("DeviceKORACMOSACRecovery", ...), and
// whether it is read on the detected model.
const char *bios_text_member(BiosText setting);
bool bios_text_read_for_model(BiosText setting);

// Applies `value`; the auto-power setting also writes the days and time of `schedule`. False
// only when a write failed; a value that matches no word is refused (logged, fragment
// appended) and does not count as a failure.
bool bios_write_text_setting(BiosText setting, const char *value, const AutoOnSchedule &schedule, uint32_t security_key,
                             std::string *result);

// The dock warning switch of "Vantor 70": 1 or 0; anything else (-1 when not given) is
// refused without counting as a failure. False only when the write failed.
bool bios_write_dock_warning(int value, uint32_t security_key, std::string *result);

// Switch settings, in the order SetBios applies them.
constexpr size_t bios_switch_count = 20;
const char *bios_switch_member(size_t index);
bool bios_switch_read_for_model(size_t index);

// Applies switch `index` with `value`. False when the value is neither 0 nor 1 or the write
// failed.
bool bios_write_switch(size_t index, int value, uint32_t security_key, std::string *result);
