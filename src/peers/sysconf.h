// Synchronous clients of the configuration store (com.corvo.config) and of the device
// service (com.corvo.udev) on the system bus. One proxy per service is made on first use and
// dropped after a transport failure, so a peer that restarts is reached on the next call.
#pragma once

#include <glib.h>

// The type codes of stored values.
namespace sysconf_type {
constexpr int boolean = 20;
constexpr int int64 = 40;
constexpr int string = 64;
}  // namespace sysconf_type

// 0 when the store proxy exists or was made, -2 when it could not be.
int sysconf_connect();

// The stored text (free with g_free), or NULL when nothing is stored or the store failed.
char *sysconf_get_key(const char *schema, const char *module, const char *key);

// Like sysconf_get_key, but tells "not stored" (0 with *value NULL; the store's refusal of a
// key counts as that) from a store that could not be reached (-2, -3 or -10, with *why
// saying why). Free both with g_free.
int sysconf_read_key(const char *schema, const char *module, const char *key, char **value, char **why);

// 0, or -2 (no connection), -3 (call failed), -4 (refused), -10 (bad argument), -11 (type).
int sysconf_set_key(const char *schema, const char *module, const char *key, const char *value, int type);

// 0, or -2, -3, -4, -10 as above. The result text is discarded.
int sysconf_ext_cmd(const char *cmd, const char *param1, const char *param2);

// Asks the device service to remount USB disks read-only (true) or read-write. 0 when it
// answered "Success"; -2 (no connection), -3 (other answer), -4 (call failed).
int udev_remount_usbdisks(gboolean read_only);
