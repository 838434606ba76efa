// BIOS operations with rules of their own: the admin password (properties, verification,
// change), the secure boot switch and the read of a setting by its name.
#pragma once

#include <cstdint>

// Mode of bios_change_admin_password that removes the password.
constexpr int bios_password_remove = 0x55AA;

struct BiosState;

// Asks the BIOS for its password rules and checks `password` (`length` characters; 0 when
// there is no candidate) against them. Sets `not_installed` when no admin password is
// installed and stores the maximum length in `max_len`. 0, or -1 (logged).
int bios_check_password_properties(const char *password, int length, uint8_t *not_installed, uint8_t *max_len);

// Verifies the admin password and stores the security key in `security_key` (untouched when
// no password is installed). 0, -1 (could not ask) or -2 (the BIOS refused the password).
int bios_verify_admin_password(const char *password, uint32_t *security_key);

// Sets `new_password`, or removes the password when `mode` is bios_password_remove.
// `password` is the current one (ignored when none is installed). 0 or -1.
int bios_change_admin_password(const char *password, const char *new_password, int mode);

// Switches secure boot on (`enable` nonzero) or off. Once on, it is never written again. An
// enable during a fresh install raises the state's reboot flag, any other write clears it.
// 0 or -1.
int bios_set_secure_boot(BiosState &state, int enable, uint32_t security_key);

// Reads the setting `name` (for example "secureboot", any letter case) with the token it has
// on `model` into `value`, which the BIOS answer sets even when it reports a failure. 0, -1
// (unknown name, no request, value untouched) or -2 (the read failed).
int bios_read_token_by_name(const char *model, const char *name, uint32_t *value);
