// Synchronous clients of the configuration store (com.corvo.config) and of the device
// service (com.corvo.udev) on the system bus. One proxy per service is made on first use and
// dropped after a transport failure, so a peer that restarts is reached on the next call.
#pragma once

#include <glib.h>

#include "common/error.h"

// The type codes of stored values.
namespace sysconf_type {
constexpr int boolean = 20;
constexpr int int64 = 40;
constexpr int string = 64;
}  // namespace sysconf_type

// Every call below is false on failure with `error` in CORVO_ERROR: CORVO_ERROR_INVALID (a
// missing name, a value that is not UTF-8, an unknown type; nothing was sent),
// CORVO_ERROR_UNREACHABLE (no connection, or the call failed; the proxy is dropped) or
// CORVO_ERROR_REFUSED (the peer refused, or answered something else than success).

// The stored text (free with g_free), or NULL when nothing is stored or the store failed.
char *sysconf_get_key(const char *schema, const char *module, const char *key);

// Like sysconf_get_key, but tells "not stored" (true with *value NULL; the store's refusal of
// a key counts as that) from a store that could not be read (false with `error`, whose message
// says why). Free *value with g_free.
bool sysconf_read_key(const char *schema, const char *module, const char *key, char **value, GError **error);

bool sysconf_set_key(const char *schema, const char *module, const char *key, const char *value, int type,
                     GError **error = nullptr);

// Runs a command of the store; its result text is discarded.
bool sysconf_ext_cmd(const char *cmd, const char *param1, const char *param2, GError **error = nullptr);

// Asks the device service to remount USB disks read-only (true) or read-write; true when it
// answered "Success".
bool udev_remount_usbdisks(gboolean read_only, GError **error = nullptr);
