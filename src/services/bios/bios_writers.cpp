#include "services/bios/bios_writers.h"

#include <cstring>
#include <glib.h>

#include "common/log.h"
#include "host/net_iface.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
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

// Text settings -----------------------------------------------------------------------------

enum class WordAction {
    token,       // token write of `token` with `value`
    deep_sleep,  // bios_set_deep_sleep with mode `value`
    auto_on,     // the auto-on sequence of mode row `value`
    lan_or_sfp,  // the SFP NIC on a "Vantor 70" that has one, else as "LAN"
};

struct TextWord {
    const char *word;
    size_t match_length;  // leading characters compared; 0: the whole word
    WordAction action;
    uint32_t token;
    uint32_t value;
};

struct TextSettingRow {
    const char *member;
    ModelSet models;  // whose member is read
    const TextWord *words;
    size_t word_count;
    const char *fail_text;    // a token write failed (logged with the BIOS status); operations log their own
    bool fail_on_stdout;      // the failure text is printed instead, without the status
    const char *done_stdout;  // printed with the value after a successful token write
    const char *set_err_log;
    const char *ok_fragment;
    const char *set_err_fragment;
    const char *input_err_log;
    const char *input_err_fragment;
};

constexpr TextWord ac_recovery_words[] = {
    {"PowerOff", 0, WordAction::token, 0xA1, 0},
    {"PowerOn", 0, WordAction::token, 0xA3, 1},
    {"LastState", 0, WordAction::token, 0xA2, 2},
};
constexpr TextWord auto_power_words[] = {
    {"Disable", 0, WordAction::auto_on, 0, 0},
    {"Daily", 0, WordAction::auto_on, 0, 1},
    {"Workday", 0, WordAction::auto_on, 0, 2},
    {"Days", 0, WordAction::auto_on, 0, 3},
};
constexpr TextWord wake_on_lan_words[] = {
    {"Disable", 0, WordAction::token, 0x55, 0},
    {"LANORSFPNIC", 0, WordAction::lan_or_sfp, 0x464, 9},
    {"LAN", 0, WordAction::token, 0x57, 5},
    {"PXE", 0, WordAction::token, 0x383, 7},
};
constexpr TextWord mac_pass_words[] = {
    {"yes", 0, WordAction::token, 0x499, 0},
    {"no", 0, WordAction::token, 0x49B, 2},
    {"Intergrated", 10, WordAction::token, 0x49A, 1},
};
constexpr TextWord deep_sleep_words[] = {
    {"Disabled", 0, WordAction::deep_sleep, 0, 0},
    {"EnabledInS5Only", 0, WordAction::deep_sleep, 0, 2},
    {"EnabledInS4andS5", 0, WordAction::deep_sleep, 0, 4},
};
constexpr TextWord fastboot_words[] = {
    {"Minimal", 0, WordAction::token, 0xEA, 0},
    {"Thorough", 0, WordAction::token, 0xEB, 1},
    {"Auto", 0, WordAction::token, 0xEC, 2},
};
constexpr TextWord post_time_words[] = {
    {"0second", 0, WordAction::token, 0x3C6, 0},
    {"5seconds", 0, WordAction::token, 0x3C7, 1},
    {"10seconds", 0, WordAction::token, 0x3C8, 2},
};
constexpr TextWord keyboard_words[] = {
    {"Enable", 0, WordAction::token, 0x9D, 1},
    {"Disable", 0, WordAction::token, 0x9E, 0},
};

constexpr TextWord lan_word = {"LAN", 0, WordAction::token, 0x57, 5};
constexpr const char *sfp_nic_model = "Vantor 70";
constexpr const char *sfp_nic_interface = "re1";

constexpr const char *mac_pass_model_list[] = {"K30MTC", "Lumen 81", "Lumen 82", "Lumen 83", "Lumen 84"};
constexpr const char *no_fastboot_model_list[] = {"K60AIO"};
constexpr const char *aio_model_list[] = {"K30AIO", "K40AIO", "K50AIO", "K60AIO"};
constexpr const char *side_port_model_list[] = {"K50AIO", "K60AIO"};
constexpr ModelSet aio_models = models_in(aio_model_list);
constexpr ModelSet side_port_models = models_in(side_port_model_list);

// In the order of BiosText.
const TextSettingRow text_settings[bios_text_count] = {
    {
        .member = "DeviceKORACMOSACRecovery",
        .models = every_model,
        .words = ac_recovery_words,
        .word_count = G_N_ELEMENTS(ac_recovery_words),
        .fail_text = "SMBIOS: set ac power error",
        .fail_on_stdout = true,
        .done_stdout = "SMBIOS: smbios_setPowerLoss is done to set",
        .set_err_log = "powerloss set err\n",
        .ok_fragment = "{KoraCMOSACRecovery: ok}",
        .set_err_fragment = "{KoraCMOSPowerLoss: set err}",
        .input_err_log = "powerloss input value err\n",
        .input_err_fragment = "{KoraCMOSPowerLoss: input err}",
    },
    {
        .member = "DeviceKORACMOSAutoPower",
        .models = every_model,
        .words = auto_power_words,
        .word_count = G_N_ELEMENTS(auto_power_words),
        .fail_text = nullptr,
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "autopower set err\n",
        .ok_fragment = "{KoraCMOSAutoPower: ok}",
        .set_err_fragment = "{KoraCMOSAutoPower: set err}",
        .input_err_log = "autopower input value err\n",
        .input_err_fragment = "{KoraCMOSAutoPower: input err}",
    },
    {
        .member = "DeviceKORACMOSWakeOnLan",
        .models = every_model,
        .words = wake_on_lan_words,
        .word_count = G_N_ELEMENTS(wake_on_lan_words),
        .fail_text = "SMBIOS: set wake on lan error",
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "wakeonlan set err\n",
        .ok_fragment = "{KoraCMOSWakeOnLAN: ok}",
        .set_err_fragment = "{KoraCMOSWakeOnLAN: set err}",
        .input_err_log = "wakeonlan input value err\n",
        .input_err_fragment = "{KoraCMOSWakeOnLAN: input err}",
    },
    {
        .member = "DeviceKORACMOSMACPASSConfigure",
        .models = models_in(mac_pass_model_list),
        .words = mac_pass_words,
        .word_count = G_N_ELEMENTS(mac_pass_words),
        .fail_text = "SMBIOS: set mac pass through",
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "mac pass set err\n",
        .ok_fragment = "{KoraCMOSMACPASSConfigure: ok}",
        .set_err_fragment = "{KoraCMOSMACPASSConfigure: set err}",
        .input_err_log = "mac pass input value err\n",
        .input_err_fragment = "{KoraCMOSMACPASSConfigure: input err}",
    },
    {
        .member = "DeviceKORACMOSDeepSleep",
        .models = deep_sleep_models,
        .words = deep_sleep_words,
        .word_count = G_N_ELEMENTS(deep_sleep_words),
        .fail_text = nullptr,
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "deepsleep set err\n",
        .ok_fragment = "{DeepSleep: ok}",
        .set_err_fragment = "{DeepSleep: set err}",
        .input_err_log = "deepsleep input value err\n",
        .input_err_fragment = "{DeepSleep: input err}",
    },
    {
        .member = "DeviceKORACMOSFastboot",
        .models = models_except(no_fastboot_model_list),
        .words = fastboot_words,
        .word_count = G_N_ELEMENTS(fastboot_words),
        .fail_text = "SMBIOS: Set FastBoot error..., return value",
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "Fastboot set err\n",
        .ok_fragment = "{Fastboot: ok}",
        .set_err_fragment = "{Fastboot: set err}",
        .input_err_log = "Fastboot input value err\n",
        .input_err_fragment = "{Fastboot: input err}",
    },
    {
        .member = "DeviceKORACMOSExtendedBIOSPostTime",
        .models = every_model,
        .words = post_time_words,
        .word_count = G_N_ELEMENTS(post_time_words),
        .fail_text = "SMBIOS: Set Extend Post Time error ,return value",
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "Extend BIOS POST Time set err\n",
        .ok_fragment = "{Extend BIOS POST Time: ok}",
        .set_err_fragment = "{Extend BIOS POST Time: set err}",
        .input_err_log = "Extend BIOS POST Time input value err\n",
        .input_err_fragment = "{Extended Bios POST Time: input err}",
    },
    {
        .member = "DeviceKORACMOSKeyboardErrorDetection",
        .models = every_model,
        .words = keyboard_words,
        .word_count = G_N_ELEMENTS(keyboard_words),
        .fail_text = "SMBIOS: set Keyboard Error Reporting error ,return value",
        .fail_on_stdout = false,
        .done_stdout = nullptr,
        .set_err_log = "Keyboard Errors set err\n",
        .ok_fragment = "{Keyboard Errors: ok}",
        .set_err_fragment = "{Keyboard Errors: set err}",
        .input_err_log = "Keyboard Errors input value err\n",
        .input_err_fragment = "{Keyboard Errors: input err}",
    },
};

const TextSettingRow &text_row(BiosText setting)
{
    return text_settings[static_cast<size_t>(setting)];
}

// First word the value begins with, case-sensitively; nullptr when none.
const TextWord *match_word(const TextSettingRow &row, const char *value)
{
    for (size_t i = 0; i < row.word_count; ++i) {
        const TextWord &word = row.words[i];
        const size_t length = word.match_length ? word.match_length : strlen(word.word);
        if (strncmp(value, word.word, length) == 0)
            return &word;
    }
    return nullptr;
}

bool write_token_word(const TextSettingRow &row, const TextWord &word, uint32_t key)
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

bool apply_word(const TextSettingRow &row, const TextWord &word, const AutoOnSchedule &schedule, uint32_t key)
{
    switch (word.action) {
    case WordAction::token: return write_token_word(row, word, key);
    case WordAction::deep_sleep: return bios_set_deep_sleep(static_cast<int>(word.value), key) == 0;
    case WordAction::auto_on: return write_auto_on(auto_on_modes[word.value], schedule, key);
    case WordAction::lan_or_sfp:
        if (bios_model_is(sfp_nic_model) && host_net_interface_exists(sfp_nic_interface))
            return write_token_word(row, word, key);
        return write_token_word(row, lan_word, key);
    }
    return false;
}

// Switch settings ---------------------------------------------------------------------------

using SwitchOperation = int (*)(int enable, uint32_t security_key);

struct SwitchWrite {
    uint32_t token;  // 0: `operation` instead of a token write
    uint32_t value;
    SwitchOperation operation;
};

struct SwitchRow {
    const char *member;
    ModelSet models;                      // whose member is read
    SwitchWrite on;                       // value 1
    SwitchWrite off;                      // value 0
    const char *variant_model = nullptr;  // a model with writes of its own
    SwitchWrite variant_on = {};
    SwitchWrite variant_off = {};
    const char *fail_text = nullptr;  // after a failed token write, with the BIOS status
    const char *set_err_log;
    const char *input_err_log;
    const char *ok_fragment = nullptr;  // the three fragments, for the rows that have them
    const char *set_err_fragment = nullptr;
    const char *input_err_fragment = nullptr;
};

constexpr SwitchWrite token(uint32_t number, uint32_t value)
{
    return {number, value, nullptr};
}

constexpr SwitchWrite operation(SwitchOperation op, int enable)
{
    return {0, static_cast<uint32_t>(enable), op};
}

const SwitchRow switch_rows[bios_switch_count] = {
    {
        .member = "DeviceKORACMOSWakeOnUSB",
        .models = every_model,
        .on = operation(bios_set_wake_on_usb, 1),
        .off = operation(bios_set_wake_on_usb, 0),
        .set_err_log = "wakeonusb set err\n",
        .input_err_log = "wakeonusb input value err\n",
        .ok_fragment = "{KoraCMOSWakeOnUSB: set ok}",
        .set_err_fragment = "{KoraCMOSWakeOnUSB: set err}",
        .input_err_fragment = "{KoraCMOSWakeOnUSB: input err}",
    },
    {
        .member = "DeviceKORACMOSAudio",
        .models = every_model,
        .on = token(0x22, 1),
        .off = token(0x23, 0),
        .fail_text = "SMBIOS: set Sound device on error",
        .set_err_log = "audio set err\n",
        .input_err_log = "set audio input value err\n",
        .ok_fragment = "{KoraCMOSAudio: set ok}",
        .set_err_fragment = "{KoraCMOSAudio: set err}",
        .input_err_fragment = "{KoraCMOSAudio: input err}",
    },
    {
        .member = "DeviceKORACMOSAdminLock",
        .models = every_model,
        .on = token(0x2BD, 1),
        .off = token(0x2BE, 0),
        .fail_text = "SMBIOS: set Admin Lock error",
        .set_err_log = "admin lock set err\n",
        .input_err_log = "set admin lock input value err\n",
        .ok_fragment = "{KoraCMOSAdminLock: set ok}",
        .set_err_fragment = "{KoraCMOSAdminLock: set err}",
        .input_err_fragment = "{KoraCMOSAdmiLock: input err}",
    },
    {
        .member = "DeviceKORACMOSUSBRearPort",
        .models = every_model,
        .on = token(0x41A, 1),
        .off = token(0x41B, 0),
        .variant_model = "K20",
        .variant_on = token(0x1D5, 1),
        .variant_off = token(0x1D4, 0),
        .fail_text = "SMBIOS: set Rear-Left Dual USB 2.0 device on error",
        .set_err_log = "rear usb set err\n",
        .input_err_log = "rear usb input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBFrontTopPort",
        .models = every_model,
        .on = token(0x3E3, 1),
        .off = token(0x3E2, 0),
        .variant_model = "Vantor 70",
        .variant_on = token(0x3E5, 1),
        .variant_off = token(0x3E4, 0),
        .fail_text = "SMBIOS: set front top usb",
        .set_err_log = "rear usb front set err\n",
        .input_err_log = "rear usb front input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBFrontTopMePort",
        .models = every_model,
        .on = token(0x3E5, 1),
        .off = token(0x3E4, 0),
        .variant_model = "Vantor 70",
        .variant_on = operation(bios_set_front_bottom_usb, 1),
        .variant_off = operation(bios_set_front_bottom_usb, 0),
        .fail_text = "SMBIOS: set front top medium usb",
        .set_err_log = "usb top medium set err\n",
        .input_err_log = "usb top medium input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBFrontBottomMePort",
        .models = every_model,
        .on = operation(bios_set_front_bottom_usb, 1),
        .off = operation(bios_set_front_bottom_usb, 0),
        .set_err_log = "usb bottom medium set err\n",
        .input_err_log = "usb bottom medium input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBFrontBottomPort",
        .models = every_model,
        .on = token(0x3E9, 1),
        .off = token(0x3E8, 0),
        .variant_model = "Vantor 70",
        .variant_on = token(0x3E3, 1),
        .variant_off = token(0x3E2, 0),
        .fail_text = "SMBIOS: set front usb bottom",
        .set_err_log = "usb bottom set err\n",
        .input_err_log = "usb bottom input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBBootSupport",
        .models = every_model,
        .on = operation(bios_set_usb_boot_support, 1),
        .off = operation(bios_set_usb_boot_support, 0),
        .set_err_log = "usb boot set err\n",
        .input_err_log = "usb boot input value err\n",
    },
    {
        .member = "DeviceKORACMOSPXEBootSupport",
        .models = every_model,
        .on = operation(bios_set_pxe_nic1, 1),
        .off = operation(bios_set_pxe_nic1, 0),
        .set_err_log = "pxe boot set err\n",
        .input_err_log = "pxe boot input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBFrontPort",
        .models = every_model,
        .on = token(0x14F, 1),
        .off = token(0x14E, 0),
        .fail_text = "SMBIOS: set Front USB device on error",
        .set_err_log = "usb front set err\n",
        .input_err_log = "usb front input value err\n",
    },
    // Never switches secure boot off once it is on (the operation's own rule).
    {
        .member = "DeviceKORACMOSSecureBoot",
        .models = every_model,
        .on = operation(bios_set_secure_boot, 1),
        .off = operation(bios_set_secure_boot, 0),
        .set_err_log = "secure boot set err\n",
        .input_err_log = "secure boot input value err\n",
    },
    // Inverted: the BIOS token that turns the OSD setting on is written with 0.
    {
        .member = "DeviceKORACMOSOSDConfigure",
        .models = aio_models,
        .on = token(0x372, 0),
        .off = token(0x373, 1),
        .fail_text = "SMBIOS: set OSD error ,return value",
        .set_err_log = "osd set err\n",
        .input_err_log = "osd input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBSidePortTop",
        .models = aio_models,
        .on = token(0x1B6, 1),
        .off = token(0x1B5, 0),
        .fail_text = "SMBIOS: set side top usb",
        .set_err_log = "side top usb set err\n",
        .input_err_log = "side top usb input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBSideBottom",
        .models = aio_models,
        .on = token(0x1B8, 1),
        .off = token(0x1B7, 0),
        .fail_text = "SMBIOS: set side bottom usb",
        .set_err_log = "side bot usb set err\n",
        .input_err_log = "side bot usb input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBRearPortTopLeft",
        .models = aio_models,
        .on = token(0x1A2, 1),
        .off = token(0x1A1, 0),
        .fail_text = "SMBIOS: set rear top left usb",
        .set_err_log = "rear top left set err\n",
        .input_err_log = "rear top left input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBRearPortTopRight",
        .models = aio_models,
        .on = token(0x1A4, 1),
        .off = token(0x1A3, 0),
        .fail_text = "SMBIOS: set rear top right usb",
        .set_err_log = "rear top right set err\n",
        .input_err_log = "rear top right input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBRearBottomLeft",
        .models = aio_models,
        .on = token(0x1A6, 1),
        .off = token(0x1A5, 0),
        .fail_text = "SMBIOS: set rear bottom left usb",
        .set_err_log = "rear bot left set err\n",
        .input_err_log = "rear bot left input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBRearPortBottomRight",
        .models = aio_models,
        .on = token(0x1A8, 1),
        .off = token(0x1A7, 0),
        .fail_text = "SMBIOS: set rear bottom right usb",
        .set_err_log = "rear bot right set err\n",
        .input_err_log = "rear bot right input value err\n",
    },
    {
        .member = "DeviceKORACMOSUSBSidePort",
        .models = side_port_models,
        .on = token(0x41C, 1),
        .off = token(0x41D, 0),
        .fail_text = "SMBIOS: set side all usb error",
        .set_err_log = "all side set err\n",
        .input_err_log = "all side input value err\n",
    },
};

bool write_switch(const SwitchRow &row, const SwitchWrite &write, uint32_t key)
{
    if (write.operation)
        return write.operation(static_cast<int>(write.value), key) == 0;
    return smi_token_write_logged(write.token, write.value, key, row.fail_text);
}

void append(std::string *result, const char *fragment)
{
    if (fragment)
        *result += fragment;
}

// Dock warning ------------------------------------------------------------------------------

constexpr uint32_t token_dock_warn_on = 0x3A8;
constexpr uint32_t token_dock_warn_off = 0x3A9;

}  // namespace

const char *bios_text_member(BiosText setting)
{
    return text_row(setting).member;
}

bool bios_text_read_for_model(BiosText setting)
{
    return bios_model_matches(text_row(setting).models);
}

bool bios_write_text_setting(BiosText setting, const char *value, const AutoOnSchedule &schedule, uint32_t security_key,
                             std::string *result)
{
    const TextSettingRow &row = text_row(setting);
    const TextWord *word = match_word(row, value);
    if (!word) {
        wlog('D', log_tag::bios, "%s", row.input_err_log);
        *result += row.input_err_fragment;
        return true;
    }
    if (!apply_word(row, *word, schedule, security_key)) {
        wlog('D', log_tag::bios, "%s", row.set_err_log);
        *result += row.set_err_fragment;
        return false;
    }
    *result += row.ok_fragment;
    return true;
}

bool bios_write_dock_warning(int value, uint32_t security_key, std::string *result)
{
    wlog('D', log_tag::bios, "bios_set_suppress_dock_warn_msg: %d\n", value);
    if (value != 0 && value != 1) {
        wlog('D', log_tag::bios, "SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input value %d err\n", value);
        *result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input err}";
        return true;
    }
    const SmiAnswer written = value == 1 ? smi_token_write(token_dock_warn_on, 1, security_key)
                                         : smi_token_write(token_dock_warn_off, 0, security_key);
    if (!written.ok()) {
        wlog('N', log_tag::bios, "SMBIOS: set_suppress_dock_warn error %d\n", static_cast<int>(written.status()));
        wlog('D', log_tag::bios, "SUPRESS_DOCKER_INCOMPATIBLE_WARN Set err\n");
        *result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set err}";
        return false;
    }
    *result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set OK}";
    return true;
}

const char *bios_switch_member(size_t index)
{
    return index < bios_switch_count ? switch_rows[index].member : nullptr;
}

bool bios_switch_read_for_model(size_t index)
{
    return index < bios_switch_count && bios_model_matches(switch_rows[index].models);
}

bool bios_write_switch(size_t index, int value, uint32_t security_key, std::string *result)
{
    if (index >= bios_switch_count)
        return false;
    const SwitchRow &row = switch_rows[index];
    if (value != 0 && value != 1) {
        wlog('D', log_tag::bios, "%s", row.input_err_log);
        append(result, row.input_err_fragment);
        return false;
    }
    const bool variant = row.variant_model && bios_model_is(row.variant_model);
    const SwitchWrite &write = value == 1 ? (variant ? row.variant_on : row.on) : (variant ? row.variant_off : row.off);
    if (!write_switch(row, write, security_key)) {
        wlog('D', log_tag::bios, "%s", row.set_err_log);
        append(result, row.set_err_fragment);
        return false;
    }
    append(result, row.ok_fragment);
    return true;
}
