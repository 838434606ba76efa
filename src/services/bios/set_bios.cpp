#include "services/bios/set_bios.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "common/error.h"
#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "host/file_io.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_handlers.h"
#include "services/bios/bios_restore_file.h"
#include "services/bios/bios_settings.h"
#include "services/bios/bios_state.h"
#include "services/bios/bios_writers.h"

namespace {

constexpr size_t restore_member_size = 64;
constexpr size_t restore_path_max = 55;

enum class Entry { ordinary, restore, failed };

// The SMI request record separates its fields with blanks: a password holding one would be
// read back as other fields, so it could be set but never changed or removed again. Control
// characters have no place in it either.
bool password_fits_record(const char *password)
{
    for (const char *c = password; *c; ++c)
        if (*c == ' ' || g_ascii_iscntrl(*c))
            return false;
    return true;
}

// A new password that begins with a blank asks for removal and is never sent.
bool passwords_sendable(const BiosSettings &settings)
{
    if (settings.password_too_long)
        return false;
    if (password_fits_record(settings.current_password) &&
        (settings.new_password[0] == ' ' || password_fits_record(settings.new_password)))
        return true;
    wlog('D', log_tag::bios, "password with a blank or control character refused\n");
    return false;
}

// Reads the extract file at `path` into `settings`. On failure `result_text` says why.
Entry read_restore_file(const char *path, bool password_fits, const char *model, BiosSettings *settings,
                        std::string *result_text)
{
    if (strlen(path) > restore_path_max) {
        wlog('D', log_tag::bios, "cmos file name too large err\n");
        *result_text = "{cmos file len err}";
        return Entry::failed;
    }
    if (!password_fits) {
        *result_text = "{Password err}";
        return Entry::failed;
    }
    // Whoever can write the file decides what the restore sets: it must be the
    // administrator's own, not a file another user prepared or can still edit.
    HostFileRules rules;
    rules.own_only = true;
    char bytes[bios_extract_file_size] = {};
    g_autoptr(GError) error = nullptr;
    const ssize_t count = host_file_read_head(path, rules, bytes, sizeof bytes, &error);
    if (count < 0) {
        if (g_error_matches(error, CORVO_ERROR, CORVO_ERROR_REFUSED))
            wlog('D', log_tag::bios, "cmos file refused: %s\n", error->message);
        else
            wlog('D', log_tag::bios, "open cmos file name err,err is %s\n", error->message);
        *result_text = "{open cmos file err}";
        return Entry::failed;
    }
    wlog('D', log_tag::bios, "cmos read ret value is %d\n", static_cast<int>(count));
    const bool readable = bios_restore_file_read(bytes, static_cast<size_t>(count), model, settings);
    // The file may name a password too; its bytes do not outlive the call.
    explicit_bzero(bytes, sizeof bytes);
    if (!readable) {
        *result_text = "{cmos file format err}";
        return Entry::failed;
    }
    return Entry::restore;
}

// Chooses the settings object: the parameter itself, or the text of the extract file it
// names. On failure `result_text` says why.
Entry restore_entry(const char *para, const char *model, BiosSettings *settings, std::string *result_text)
{
    char path[restore_member_size] = {};
    char password[restore_member_size] = {};
    const JsonParams params(para);
    params.copy_string("DeviceKORACMOSRestoreFilePath", path, sizeof path);
    const bool password_fits = bios_password_member(params, "DeviceKORACMOSRestorePassword", password, sizeof password);
    params.scrub_string("DeviceKORACMOSRestorePassword");
    if (!path[0]) {
        explicit_bzero(password, sizeof password);
        bios_settings_read(params, false, model, settings);
        return Entry::ordinary;
    }
    const Entry entry = read_restore_file(path, password_fits, model, settings, result_text);
    if (entry == Entry::restore && password[0])
        g_strlcpy(settings->current_password, password, sizeof settings->current_password);
    explicit_bzero(password, sizeof password);
    return entry;
}

void update_schedule(const AutoOnUpdate &update, AutoOnSchedule *schedule)
{
    schedule->days = update.days.value_or(schedule->days);
    schedule->hour = update.hour.value_or(schedule->hour);
    schedule->minute = update.minute.value_or(schedule->minute);
}

// In catalogue order: texts, the dock warning, then switches; each failure counts, none stops
// the next.
bool apply_settings(const BiosSettings &settings, BiosWriteCall &call)
{
    bool failed = false;
    for (size_t i = 0; i < bios_setting_count; ++i) {
        const BiosSetting &row = bios_setting(i);
        if (settings.texts[i])
            failed |= !bios_write_text(row, settings.texts[i]->c_str(), call);
        else if (settings.numbers[i] || (row.write == BiosWrite::dock_warning && settings.parsed &&
                                         bios_model_in(call.state.model, row.models)))
            failed |= !bios_write_switch(row, settings.numbers[i], call);
    }
    return !failed;
}

bool finish(const std::string &final_text, bool success, std::string *result_text)
{
    *result_text = final_text;
    wlog('D', log_tag::bios, "final result: %s\n", result_text->c_str());
    return success;
}

}  // namespace

bool set_bios_run(BiosState &state, const char *para, std::string *result_text)
{
    wlog('D', log_tag::bios, "set bios command is executed.\n");
    std::string text;
    uint32_t key = 0;

    BiosSettings settings;
    if (restore_entry(para, state.model, &settings, &text) == Entry::failed)
        return finish(text, false, result_text);
    if (!passwords_sendable(settings))
        return finish("{Password err}", false, result_text);

    if (bios_verify_admin_password(settings.current_password, &key) < 0)
        return finish("{Password err}", false, result_text);
    const int password_mode = settings.new_password[0] == ' ' ? bios_password_remove : 0;

    if (settings.time_error) {
        wlog('D', log_tag::bios, "get timelist err\n");
        return finish(text, false, result_text);
    }

    update_schedule(settings.schedule, &state.schedule);
    BiosWriteCall call{state, key, &text};
    const bool applied = apply_settings(settings, call);

    // A password change decides the result on its own.
    if (settings.new_password[0]) {
        if (bios_change_admin_password(settings.current_password, settings.new_password, password_mode) == 0)
            return finish("{Password change Ok}", true, result_text);
        return finish("{Password change err}", false, result_text);
    }
    return finish(text, applied, result_text);
}

gboolean on_handle_set_bios(CorvoBios *, GDBusMethodInvocation *invocation, const gchar *para)
{
    std::string result_text;
    const bool success = set_bios_run(bios_service_state(), para, &result_text);
    return complete_with_reply(invocation, reply_status(success));
}
