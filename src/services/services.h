// The four bus services of the daemon: their start-up work, requesting their names, wiring
// their handlers when a name is acquired, and releasing the names again.
#pragma once

// Runs the services' start-up work (the stored settings and add-on app state are re-applied
// before any name is requested; the BIOS service's own work just before its name) and
// requests the four names in order (settings, BIOS, headset, add-on apps). `all_served` runs
// once every name is owned and its object exported. False when a service could not be
// started: its name is not requested, the others' are, and the caller is expected to stop
// (release them all and exit) rather than serve part of the daemon.
bool services_request(void (*all_served)());

// Releases every requested name, in the reverse order.
void services_release();
