// The HID multiplexing daemon of the add-on components: its on/off state lives in three
// places (its key file, the running process, the configuration store), kept in step here.
#pragma once

// If `name` is "HID" (any case): writes Status=On/Off into its key file, starts or stops it
// through its init script, and stores the state. Any other name is ignored.
void apply_app_status(const char *name, bool on);

// Sets `key` of group "Basic" in the HID key file, keeping comments and translations.
// A missing file is left missing.
void set_conf(const char *key, const char *value);

// Runs the HID init script with `action` ("start" or "stop") and waits for it.
void set_hid_process(const char *action);

// Stores `value` under schema "system"; the result is not looked at.
void save_conf_db(const char *module, const char *key, const char *value);

// Start-up: re-applies the stored HID state when the store answers and holds one.
void init_app_status();
