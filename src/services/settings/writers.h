// Writers shared by the settings handlers: the boot-loader file, the host sysctl file, the
// runtime sysctls of USB redirection and the power button, and two small persistent
// settings. They run on the main-loop thread and wait for any program they start (within
// its time limit); a sysctl that exits with a non-zero status has not set its variable.
#pragma once

#include <glib.h>
#include <optional>
#include <string>

#include "common/json_params.h"

#include "host/kv_file.h"
#include "services/settings/text_bool.h"

// "/boot/loader.conf.local" (name="value", 1023 characters a line) and the host's
// "/etc/sysctl.conf.local" (name=value, 255 characters a line), under the host root.
KvFileSpec loader_conf_file();
KvFileSpec sysctl_conf_file();

// The value `name` has in `file` now (see kv_value); nothing when it has no line or the file
// cannot be read. The same-value rules of settings that live in a file line use it.
std::optional<std::string> conf_file_value(const KvFileSpec &file, const char *name);

// True when the boot-loader file's line of `name` holds `value`. A same-value rule that
// skips a request because the store holds its value also asks this, so that a file that
// lost or never got the line (a failed write, a hand edit, a store restored from elsewhere)
// is written again rather than reported as already set.
bool loader_conf_holds(const char *name, const char *value);

// The boot-loader edits of one request. Deletes and writes are gathered and land in the file
// in one atomic replace at loader_conf_commit, so the file never shows a tunable of the
// request missing: it holds either every old or every new line.
struct LoaderConfEdit {
    KvEdit edit;
};

// Removes every line whose key is `name` exactly. A name the file cannot hold is logged and
// ignored (it cannot be in the file).
void loader_conf_delete(LoaderConfEdit &edit, const char *name);

// Appends name="value". False with CORVO_ERROR_INVALID, the edit unchanged, when the name or
// the value cannot be held by the file (a control character or double quote, or a line longer
// than 1023 characters: a value is never cut).
bool loader_conf_write(LoaderConfEdit &edit, const char *name, const char *value, GError **error = nullptr);

// True when loader_conf_write would take `value` for the tunable `name`; handlers ask first
// so that a refused value changes nothing, programs included.
bool loader_conf_value_ok(const char *name, const char *value);

// Writes the gathered edit: true when the file holds it (or there was nothing to do); false
// with CORVO_ERROR_FAILED when the file could not be written (it then keeps its old content).
bool loader_conf_commit(LoaderConfEdit &edit, GError **error = nullptr);

// Replaces the `name` entries of the host sysctl file by one name=value line, atomically.
// False (logged) with CORVO_ERROR_INVALID for an entry the file cannot hold, or
// CORVO_ERROR_FAILED when the file could not be written.
bool sysctl_conf_write(const char *name, const char *value, GError **error = nullptr);

// Sets the kernel variable `variable` to `value` through sysctl, e.g.
// sysctl_set("hw.usb.vusb_property_string", "1,0,0,0,0") runs
// sysctl hw.usb.vusb_property_string=1,0,0,0,0 (one argument, no shell).
// True when sysctl exited with status 0; false with host_run's error, or
// CORVO_ERROR_INVALID for a NULL variable or value.
bool sysctl_set(const char *variable, const char *value, GError **error = nullptr);

// Applies a DisablePowerButton text: no -> power button state S5, yes -> NONE. True when its
// sysctl exited with status 0; false with host_run's error, or CORVO_ERROR_INVALID for any
// other text (nothing is run).
bool power_button_apply(const char *value, GError **error = nullptr);

// Stores "true"/"false" under power/most_save and writes the tunable "hw.devpmostsave"
// ("1" for true in any case, else "0"); nothing when the stored text is the same.
void most_save_power_set(const char *value);

// A row of the generic boolean sysctl table: the request's "sysctl" member selects it by
// `key`, which is also its store key under ("system", "sysctl", key).
struct SysctlGenericEntry {
    const char *key;
    const char *sysctl;  // kernel variable
    bool (*handler)(const JsonParams &params, const SysctlGenericEntry *entry, GError **error);
};

// Reads "boolkey" (absent: false), writes the sysctl file entry and sets the kernel variable;
// stores "1"/"0" only when both did. True on success or when unchanged; false with the error
// of the step that failed (the sysctl's when both did).
bool sysctl_generic_bool_type(const JsonParams &params, const SysctlGenericEntry *entry, GError **error);
