// Writers shared by the settings handlers: the boot-loader file, the host sysctl file, the
// runtime sysctls of USB redirection and the power button, and two small persistent
// settings. They run on the main-loop thread and wait for any program they start.
#pragma once

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

// Appends name="value". Returns -1, with the edit unchanged, when the name or the value
// cannot be held by the file (line feed, carriage return, NUL or double quote); 0 otherwise.
// A value too long for the line is cut so that the closing quote still fits (logged).
int loader_conf_write(LoaderConfEdit &edit, const char *name, const char *value);

// True when loader_conf_write would take `value`.
bool loader_conf_value_ok(const char *value);

// Writes the gathered edit: 0 when the file holds it (or there was nothing to do), -1 when
// the file could not be written (it then keeps its old content).
int loader_conf_commit(LoaderConfEdit &edit);

// Replaces the `name` entries of the host sysctl file by one name=value line, atomically.
// 0, or -1 when refused or not written (logged).
int sysctl_conf_write(const char *name, const char *value);

// Sets the kernel variable `variable` to `value` through sysctl, e.g.
// usbif_command("hw.usb.vusb_property_string", "1,0,0,0,0") runs
// sysctl hw.usb.vusb_property_string=1,0,0,0,0 (one argument, no shell).
// 1 when the program started, 0 otherwise (also for a NULL value).
int usbif_command(const char *variable, const char *value);

// Applies a DisablePowerButton text: no -> power button state S5, yes -> NONE.
// 1 when a command ran, 0 otherwise (other texts run nothing).
int power_button_apply(const char *value);

// Stores "true"/"false" under power/most_save and writes the tunable "hw.devpmostsave"
// ("1" for true in any case, else "0"); nothing when the stored text is the same.
void most_save_power_set(const char *value);

// A row of the generic boolean sysctl table: the request's "sysctl" member selects it by
// `key`, which is also its store key under ("system", "sysctl", key).
struct SysctlGenericEntry {
    const char *key;
    const char *sysctl;  // kernel variable
    int (*handler)(const JsonParams &params, const SysctlGenericEntry *entry);
};

// Reads "boolkey" (absent: false), stores "1"/"0", writes the sysctl file entry and sets the
// kernel variable. 0 on success or when unchanged, 1 on failure.
int sysctl_generic_bool_type(const JsonParams &params, const SysctlGenericEntry *entry);
