// One-setting BIOS operations: setters (one token write), numeric getters (one token read)
// and fragment getters, which render a setting as one JSON member for the read replies.
// All return 0 (or the value read) on success and -1 after logging their own message.
#pragma once

#include <cstddef>
#include <cstdint>

// A fragment is `"<key>": "<value>",` and is cut to fit this size with its NUL. Room for the
// longest member the read handlers make: a 63-byte key and a 16-byte asset tag, both escaped
// (up to six bytes each), so that no reply ever holds a cut member.
constexpr size_t bios_fragment_size = 512;

// Setters; `enable` nonzero = on. The security key goes with every write.
int bios_set_pxe_nic1(int enable, uint32_t security_key);
int bios_set_deep_sleep(int mode, uint32_t security_key);  // mode 0, 2 or 4
int bios_set_front_bottom_usb(int enable, uint32_t security_key);
int bios_set_wake_on_usb(int enable, uint32_t security_key);
int bios_set_usb_boot_support(int enable, uint32_t security_key);
int bios_set_auto_on_hour(int hour, uint32_t security_key);      // 0..23
int bios_set_auto_on_minute(int minute, uint32_t security_key);  // 0..59

// Numeric getters.
int bios_get_auto_on_off();
int bios_get_auto_on_everyday();
int bios_get_auto_on_weekdays();
int bios_get_auto_on_hour();
int bios_get_auto_on_minute();
int bios_get_auto_on_days();  // bit 0 Sunday .. bit 6 Saturday

// Fragment getters: write the member for `key` into `fragment` (bios_fragment_size bytes).
// Where a value has no text the fragment is left as the caller had it.
int bios_get_ac_recovery(const char *key, char *fragment);
int bios_get_wake_on_lan(const char *key, char *fragment);
int bios_get_deep_sleep(const char *key, char *fragment);
int bios_get_fastboot(const char *key, char *fragment);
int bios_get_extended_post_time(const char *key, char *fragment);
int bios_get_mac_passthrough(const char *key, char *fragment);
int bios_get_admin_password_state(const char *key, char *fragment);
int bios_get_asset_tag(const char *key, char *fragment);
int bios_get_keyboard_error_reporting(const char *key, char *fragment);

// Packed BCD as the BIOS keeps the auto-on time (23 <-> 0x23).
uint32_t bios_to_bcd(uint32_t number);
int bios_from_bcd(uint32_t value);
