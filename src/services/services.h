// The four bus services of the daemon: requesting their names, wiring their handlers when a
// name is acquired, and releasing the names again.
#pragma once

// Requests the four names in order (settings, BIOS, headset, add-on apps), each after its
// service's own start-up work; `all_served` runs once every name is owned and its object
// exported. False when a service could not be started; its name is then not requested,
// while the others are.
bool services_request(void (*all_served)());

// Releases every requested name, in the reverse order.
void services_release();
