#include "services/settings/writers.h"

#include <cstring>
#include <string>

#include "common/json_params.h"
#include "common/log.h"
#include "host/host_root.h"
#include "host/spawn.h"
#include "peers/sysconf.h"

namespace {

struct FileRow {
    const char *path;
    KvFormat format;
    size_t max_line;
};

// The two host files the settings service edits, and the longest line each may hold.
constexpr FileRow loader_conf_row = {"/boot/loader.conf.local", KvFormat::quoted, 1023};
constexpr FileRow sysctl_conf_row = {"/compat/linux/../../etc/sysctl.conf.local", KvFormat::plain, 255};

KvFileSpec spec_of(const FileRow &row)
{
    return {host_path(row.path), row.format, row.max_line};
}

// A name the line editor would refuse: refusing it here keeps one bad name from failing the
// other edits of the same request.
bool name_fits(const KvFileSpec &file, const char *name)
{
    if (!name || !kv_name_valid(name))
        return false;
    return strlen(name) + 1 + (file.format == KvFormat::quoted ? 2 : 0) < file.max_line;
}

}  // namespace

KvFileSpec loader_conf_file()
{
    return spec_of(loader_conf_row);
}

KvFileSpec sysctl_conf_file()
{
    return spec_of(sysctl_conf_row);
}

std::optional<std::string> conf_file_value(const KvFileSpec &file, const char *name)
{
    std::string content, why;
    if (!name || !kv_file_read(file, &content, &why))
        return std::nullopt;
    return kv_value(file, content, name);
}

bool loader_conf_holds(const char *name, const char *value)
{
    return value && conf_file_value(loader_conf_file(), name) == value;
}

void loader_conf_delete(LoaderConfEdit &edit, const char *name)
{
    if (!name_fits(loader_conf_file(), name)) {
        wlog('T', log_tag::admin_policy, "loader_conf_delete: refused tunable name %s\n", name ? name : "");
        return;
    }
    edit.edit.remove(name);
}

bool loader_conf_value_ok(const char *value)
{
    return value && kv_value_valid(value, KvFormat::quoted);
}

int loader_conf_write(LoaderConfEdit &edit, const char *name, const char *value)
{
    if (!name_fits(loader_conf_file(), name)) {
        wlog('T', log_tag::admin_policy, "loader_conf_write: refused tunable name %s\n", name ? name : "");
        return -1;
    }
    if (!loader_conf_value_ok(value)) {
        wlog('T', log_tag::admin_policy, "loader_conf_write: refused value for %s\n", name);
        return -1;
    }
    edit.edit.append(name, value);
    return 0;
}

int loader_conf_commit(LoaderConfEdit &edit)
{
    if (edit.edit.empty())
        return 0;
    const KvStatus status = kv_file_commit(loader_conf_file(), edit.edit);
    edit.edit = KvEdit();
    return status == KvStatus::ok ? 0 : -1;
}

int sysctl_conf_write(const char *name, const char *value)
{
    const KvFileSpec file = sysctl_conf_file();
    if (!name_fits(file, name) || !value || !kv_value_valid(value, file.format)) {
        wlog('T', log_tag::admin_policy, "sysctl_conf_write: refused entry %s\n", name ? name : "");
        return -1;
    }
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    if (kv_file_commit(file, edit) != KvStatus::ok) {
        wlog('D', log_tag::settings, "%s: open error(%s) \n", "sysctl_conf_write", "could not write the file");
        return -1;
    }
    return 0;
}

int usbif_command(const char *variable, const char *value)
{
    if (!variable || !value)
        return 0;
    const HostCommand command = host_command("sysctl %s=\"%s\"", variable, value);
    wlog('T', log_tag::admin_policy, "usbif command = %s\n", command.text.c_str());
    return host_run(command) ? 1 : 0;
}

int power_button_apply(const char *value)
{
    if (!value)
        return 0;
    // "no" first: a text such as "nonsense" keeps the button working.
    const char *state = text_is_no(value) ? "S5" : text_is_yes(value) ? "NONE" : nullptr;
    if (!state)
        return 0;
    return host_run(host_command("sysctl hw.acpi.power_button_state=%s", state)) ? 1 : 0;
}

void most_save_power_set(const char *value)
{
    if (!value)
        return;
    const char *digit = text_is_true(value) ? "1" : "0";
    g_autofree char *stored = sysconf_get_key("system", "power", "most_save");
    if (stored && g_strcmp0(stored, value) == 0 && loader_conf_holds("hw.devpmostsave", digit))
        return;
    // The store is written only once the tunable is: a stored value whose line never
    // landed would make every later request look unchanged.
    LoaderConfEdit edit;
    loader_conf_delete(edit, "hw.devpmostsave");
    loader_conf_write(edit, "hw.devpmostsave", digit);
    if (loader_conf_commit(edit) == 0)
        sysconf_set_key("system", "power", "most_save", value, sysconf_type::string);
}

int sysctl_generic_bool_type(const JsonParams &params, const SysctlGenericEntry *entry)
{
    if (!entry || !entry->key || !entry->sysctl)
        return 1;
    const bool on = params.get_bool("boolkey").value_or(false);
    const char *text = on ? "1" : "0";
    g_autofree char *stored = sysconf_get_key("system", "sysctl", entry->key);
    if (stored && g_strcmp0(stored, text) == 0 && conf_file_value(sysctl_conf_file(), entry->sysctl) == text) {
        wlog('D', log_tag::settings, "%s: same value (%s)\n", "sysctl_generic_bool_type", stored);
        return 0;
    }
    // The runtime value is set even when the file cannot be written; the store learns the
    // value only once both hold it, so a failed request is redone by the next one.
    const bool written = sysctl_conf_write(entry->sysctl, text) == 0;
    const bool started = host_run(host_command("sysctl %s=%d", entry->sysctl, on ? 1 : 0));
    if (!written || !started)
        return 1;
    sysconf_set_key("system", "sysctl", entry->key, text, sysconf_type::string);
    return 0;
}
