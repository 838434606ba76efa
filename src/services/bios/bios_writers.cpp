#include "services/bios/bios_writers.h"

#include <cstring>
#include <glib.h>

#include "common/log.h"
#include "host/net_iface.h"
#include "services/bios/bios_primitives.h"
#include "services/bios/smi_transport.h"

namespace {

// Auto-on -----------------------------------------------------------------------------------

struct AutoOnMode {
    uint32_t token;
    uint32_t value;
    const char *fail_text;
    bool days;  // the day tokens follow the mode token
    bool time;  // hour and minute follow
};

// In the order of the auto-power words.
constexpr AutoOnMode auto_on_modes[] = {
    {0x28, 0, "SMBIOS: set Auto on device off error", false, false},
    {0x29, 1, "SMBIOS: set Auto On Day error", false, true},
    {0x2A, 2, "SMBIOS: set Auto On Week error", false, true},
    {0x312, 3, "SMBIOS: set Day Control Enable On error", true, true},
};

struct AutoOnDay {
    uint32_t on_token;
    uint32_t off_token;
    const char *fail_text;
};

// Sunday (bit 0) to Saturday (bit 6).
constexpr AutoOnDay auto_on_day_tokens[] = {
    {0x313, 0x314, "SMBIOS: set Sunday auto on error"},   {0x315, 0x316, "SMBIOS: set Monday auto on error"},
    {0x317, 0x318, "SMBIOS: set Tuesday auto on error"},  {0x319, 0x31A, "SMBIOS: set Wedesday auto on error"},
    {0x31B, 0x31C, "SMBIOS: set Thursday auto on error"}, {0x31D, 0x31E, "SMBIOS: set Friday auto on error"},
    {0x31F, 0x320, "SMBIOS: set Saturday auto on error"},
};

// The writes run in order and stop at the first failure, whose message is logged.
bool write_auto_on(const AutoOnMode &mode, const AutoOnSchedule &schedule, uint32_t key)
{
    if (!smi_token_write_logged(mode.token, mode.value, key, mode.fail_text))
        return false;
    if (mode.days) {
        for (size_t bit = 0; bit < G_N_ELEMENTS(auto_on_day_tokens); ++bit) {
            const AutoOnDay &day = auto_on_day_tokens[bit];
            const bool on = (schedule.days >> bit) & 1;
            if (!smi_token_write_logged(on ? day.on_token : day.off_token, on ? 1 : 0, key, day.fail_text))
                return false;
        }
    }
    if (!mode.time)
        return true;
    return bios_set_auto_on_hour(schedule.hour, key) == 0 && bios_set_auto_on_minute(schedule.minute, key) == 0;
}

// Words -------------------------------------------------------------------------------------

constexpr const char *sfp_nic_model = "Vantor 70";
constexpr const char *sfp_nic_interface = "re1";

// First word the value begins with, case-sensitively; nullptr when none.
const BiosWord *match_word(const BiosSetting &row, const char *value)
{
    for (size_t i = 0; i < row.words.count; ++i) {
        const BiosWord &word = row.words.items[i];
        const size_t length = word.match_length ? word.match_length : strlen(word.word);
        if (strncmp(value, word.word, length) == 0)
            return &word;
    }
    return nullptr;
}

const BiosWord *word_named(const BiosSetting &row, const char *name)
{
    for (size_t i = 0; i < row.words.count; ++i)
        if (strcmp(row.words.items[i].word, name) == 0)
            return &row.words.items[i];
    return nullptr;
}

bool write_token_word(const BiosSetting &row, const BiosWord &word, uint32_t key)
{
    if (row.fail_on_stdout) {
        if (!smi_token_write(word.token, word.value, key).ok()) {
            print_diagnostic("%s\n", row.fail_text);
            return false;
        }
    } else if (!smi_token_write_logged(word.token, word.value, key, row.fail_text)) {
        return false;
    }
    if (row.done_stdout)
        print_diagnostic("%s %d\n", row.done_stdout, static_cast<int>(word.value));
    return true;
}

bool apply_word(const BiosSetting &row, const BiosWord &word, BiosWriteCall &call)
{
    if (row.write == BiosWrite::auto_power)
        return write_auto_on(auto_on_modes[word.value], call.state.schedule, call.key);
    if (!word.token)
        return row.operation(call.state, static_cast<int>(word.value), call.key) == 0;
    // The SFP adapter only on a model that has one, and only when it is there.
    if (word.write_only &&
        !(bios_model_is(call.state.model, sfp_nic_model) && host_net_interface_exists(sfp_nic_interface)))
        return write_token_word(row, *word_named(row, "LAN"), call.key);
    return write_token_word(row, word, call.key);
}

// Outcomes ----------------------------------------------------------------------------------

enum class Outcome { ok, set_err, input_err };

// Logs the outcome and appends its fragment as the row words them; true unless the write failed.
bool report(const BiosSetting &row, Outcome outcome, std::string *result)
{
    if (outcome == Outcome::set_err)
        wlog('D', log_tag::bios, "%s set err\n", row.log_name);
    if (outcome == Outcome::input_err)
        wlog('D', log_tag::bios, "%s input value err\n", row.log_input ? row.log_input : row.log_name);
    if (row.fragment) {
        const bool text = row.write != BiosWrite::on_off;
        const char *name = outcome == Outcome::ok          ? (row.fragment_ok ? row.fragment_ok : row.fragment)
                           : outcome == Outcome::input_err ? (row.fragment_input ? row.fragment_input : row.fragment)
                                                           : row.fragment;
        const char *what = outcome == Outcome::ok        ? (text ? "ok" : "set ok")
                           : outcome == Outcome::set_err ? "set err"
                                                         : "input err";
        *result += std::string("{") + name + ": " + what + "}";
    }
    return outcome != Outcome::set_err;
}

// The dock warning words its outcomes its own way, and logs a failed write as a notice.
bool write_dock_warning(const BiosSetting &row, int value, BiosWriteCall &call)
{
    wlog('D', log_tag::bios, "bios_set_suppress_dock_warn_msg: %d\n", value);
    if (value != 0 && value != 1) {
        wlog('D', log_tag::bios, "SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input value %d err\n", value);
        *call.result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input err}";
        return true;
    }
    const BiosTokenValue &write = value == 1 ? row.on : row.off;
    const SmiAnswer written = smi_token_write(write.token, write.value, call.key);
    if (!written.ok()) {
        wlog('N', log_tag::bios, "SMBIOS: set_suppress_dock_warn error %d\n", static_cast<int>(written.status()));
        wlog('D', log_tag::bios, "SUPRESS_DOCKER_INCOMPATIBLE_WARN Set err\n");
        *call.result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set err}";
        return false;
    }
    *call.result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set OK}";
    return true;
}

}  // namespace

bool bios_write_text(const BiosSetting &row, const char *value, BiosWriteCall &call)
{
    const BiosWord *word = match_word(row, value);
    if (!word)
        return report(row, Outcome::input_err, call.result);
    return report(row, apply_word(row, *word, call) ? Outcome::ok : Outcome::set_err, call.result);
}

int bios_switch_setting(const BiosSetting &row, BiosState &state, bool on, uint32_t key)
{
    if (row.operation)
        return row.operation(state, on ? 1 : 0, key);
    const bool variant = row.variant.model && bios_model_is(state.model, row.variant.model);
    const BiosTokenValue &write = variant ? (on ? row.variant.on : row.variant.off) : (on ? row.on : row.off);
    const char *fail_text = variant && row.variant.fail_text ? row.variant.fail_text : row.fail_text;
    return smi_token_write_logged(write.token, write.value, key, fail_text) ? 0 : -1;
}

bool bios_write_switch(const BiosSetting &row, std::optional<int> value, BiosWriteCall &call)
{
    if (row.write == BiosWrite::dock_warning)
        return write_dock_warning(row, value.value_or(-1), call);
    if (value != 0 && value != 1) {
        report(row, Outcome::input_err, call.result);
        return false;
    }
    const bool written = bios_switch_setting(row, call.state, value == 1, call.key) == 0;
    return report(row, written ? Outcome::ok : Outcome::set_err, call.result);
}
