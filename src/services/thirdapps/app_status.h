// The HID multiplexing daemon of the add-on components: its on/off state lives in three
// places (its key file, the running process, the configuration store), kept in step here.
#pragma once

// If `name` is "HID" (any case): writes Status=On/Off into its key file, starts or stops it
// through its init script, and stores the state. Any other name is ignored.
void apply_app_status(const char *name, bool on);

// Start-up: re-applies the stored HID state when the store answers and holds one.
void init_app_status();
