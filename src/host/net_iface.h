// Network interfaces of the host, as its Linux compatibility layer shows them.
#pragma once

// True when the interface `name` (for example "re1") exists on the host.
bool host_net_interface_exists(const char *name);
