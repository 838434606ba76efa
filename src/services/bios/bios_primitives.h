// One-setting BIOS operations the catalogue rows and the start-up use: setters (token
// writes), numeric getters (token reads) and the two readers of requests of their own class.
// Setters and getters return 0 (or the value read) on success and -1 after logging their own
// message.
#pragma once

#include <cstdint>
#include <string>

int bios_set_deep_sleep(int mode, uint32_t security_key);  // mode 0, 2 or 4
int bios_set_wake_on_usb(int enable, uint32_t security_key);
int bios_set_auto_on_hour(int hour, uint32_t security_key);      // 0..23
int bios_set_auto_on_minute(int minute, uint32_t security_key);  // 0..59

// Numeric getters of the auto-on schedule; the three mode switches read as counts.
enum class BiosAutoOn { off, everyday, weekdays, hour, minute };
int bios_get_auto_on(BiosAutoOn which);
int bios_get_auto_on_days();  // bit 0 Sunday .. bit 6 Saturday

// Append the member `"<key>": "<value>",` to `fragment`; `key` is already escaped.
void bios_append_member(std::string *fragment, const char *key, const char *value);
int bios_get_admin_password_state(const char *key, std::string *fragment);
int bios_get_asset_tag(const char *key, std::string *fragment);
