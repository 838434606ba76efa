// The four services as corvoctl reaches them: the generated proxies on the system bus, the
// interface descriptions compiled into the program, and the calls.
#pragma once

#include <gio/gio.h>
#include <span>
#include <string>
#include <vector>

struct CtlService {
    const char *name;  // as given on the command line: settings, bios, headset, thirdapps
    const char *bus_name;
    const char *object_path;
    GDBusInterfaceInfo *(*info)();
    GDBusProxy *(*proxy_new)(GDBusConnection *, const char *bus_name, const char *object_path, GError **);
};

// Why a bus call failed: the D-Bus error name and the message without its name.
struct BusError {
    std::string name;
    std::string message;
};

std::span<const CtlService> ctl_services();
const CtlService *ctl_service_find(const char *name);

// Whether the daemon's authority may ask the user for a password during a method call; when
// it may, the text-console agent is started before the first call. Off until set.
void ctl_bus_allow_interaction(bool allowed);

// Calls `method` with one text argument, or none when `argument` is null. Returns the
// reply text (free with g_free), or null with `error` filled.
char *ctl_bus_call(const CtlService &service, const char *method, const char *argument, int timeout_ms,
                   BusError *error);

// What `status` knows of one service.
struct CtlServiceState {
    bool owned = false;
    std::string version;  // empty when the interface has none
    BusError failure;     // failure.name is set when the owner did not answer
};

// The state of each service of ctl_services(), in that order. An owner is asked for its
// properties, all four at once, so a hung daemon costs one timeout; a name without owner is
// never started through bus activation. False only when the bus cannot be reached.
bool ctl_bus_states(int timeout_ms, std::vector<CtlServiceState> *states, BusError *error);
