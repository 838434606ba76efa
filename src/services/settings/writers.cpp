#include "services/settings/writers.h"

#include <cstring>
#include <string>

#include "common/error.h"
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
    std::string content;
    if (!name || !kv_file_read(file, &content, nullptr))
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

bool loader_conf_value_ok(const char *name, const char *value)
{
    const KvFileSpec file = loader_conf_file();
    return name && value && kv_value_valid(value, file.format) &&
           strlen(name) + strlen(value) + 3 <= file.max_line;
}

bool loader_conf_write(LoaderConfEdit &edit, const char *name, const char *value, GError **error)
{
    if (!name_fits(loader_conf_file(), name)) {
        wlog('T', log_tag::admin_policy, "loader_conf_write: refused tunable name %s\n", name ? name : "");
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "tunable name %s refused", name ? name : "");
        return false;
    }
    if (!loader_conf_value_ok(name, value)) {
        wlog('T', log_tag::admin_policy, "loader_conf_write: refused value for %s\n", name);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "value for %s refused", name);
        return false;
    }
    edit.edit.append(name, value);
    return true;
}

bool loader_conf_commit(LoaderConfEdit &edit, GError **error)
{
    if (edit.edit.empty())
        return true;
    const bool written = kv_file_commit(loader_conf_file(), edit.edit, nullptr);
    edit.edit = KvEdit();
    if (written)
        return true;
    g_set_error(error, CORVO_ERROR, CORVO_ERROR_FAILED, "the boot-loader file could not be written");
    return false;
}

bool sysctl_conf_write(const char *name, const char *value, GError **error)
{
    const KvFileSpec file = sysctl_conf_file();
    if (!name_fits(file, name) || !value || !kv_value_valid(value, file.format)) {
        wlog('T', log_tag::admin_policy, "sysctl_conf_write: refused entry %s\n", name ? name : "");
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "sysctl entry %s refused", name ? name : "");
        return false;
    }
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    if (!kv_file_commit(file, edit, nullptr)) {
        wlog('D', log_tag::settings, "%s: open error(%s) \n", "sysctl_conf_write", "could not write the file");
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_FAILED, "the sysctl file could not be written");
        return false;
    }
    return true;
}

bool sysctl_set(const char *variable, const char *value, GError **error)
{
    if (!variable || !value) {
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "no sysctl variable or value");
        return false;
    }
    const HostCommand command = host_command("sysctl %s=\"%s\"", variable, value);
    wlog('T', log_tag::admin_policy, "usbif command = %s\n", command.text.c_str());
    return host_run(command, nullptr, 255, error);
}

bool power_button_apply(const char *value, GError **error)
{
    // "no" first: a text such as "nonsense" keeps the button working.
    const char *state = !value ? nullptr : text_is_no(value) ? "S5" : text_is_yes(value) ? "NONE" : nullptr;
    if (!state) {
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "power button text %s means neither yes nor no",
                    value ? value : "");
        return false;
    }
    return host_run(host_command("sysctl hw.acpi.power_button_state=%s", state), nullptr, 255, error);
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
    if (loader_conf_commit(edit))
        sysconf_set_key("system", "power", "most_save", value, sysconf_type::string);
}

bool sysctl_generic_bool_type(const JsonParams &params, const SysctlGenericEntry *entry, GError **error)
{
    if (!entry || !entry->key || !entry->sysctl) {
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "no sysctl row");
        return false;
    }
    const bool on = params.get_bool("boolkey").value_or(false);
    const char *text = on ? "1" : "0";
    g_autofree char *stored = sysconf_get_key("system", "sysctl", entry->key);
    if (stored && g_strcmp0(stored, text) == 0 && conf_file_value(sysctl_conf_file(), entry->sysctl) == text) {
        wlog('D', log_tag::settings, "%s: same value (%s)\n", "sysctl_generic_bool_type", stored);
        return true;
    }
    // The runtime value is set even when the file cannot be written; the store learns the
    // value only once both hold it, so a failed request is redone by the next one.
    g_autoptr(GError) write_error = nullptr;
    const bool written = sysctl_conf_write(entry->sysctl, text, &write_error);
    const bool applied = host_run(host_command("sysctl %s=%d", entry->sysctl, on ? 1 : 0), nullptr, 255, error);
    if (written && applied) {
        sysconf_set_key("system", "sysctl", entry->key, text, sysconf_type::string);
        return true;
    }
    if (!written && applied)
        g_propagate_error(error, g_steal_pointer(&write_error));
    return false;
}
