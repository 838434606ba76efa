#include "services/bios/bios_writers.h"

#include <cstdio>
#include <cstring>
#include <glib.h>

#include "common/log.h"
#include "host/net_iface.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_primitives.h"
#include "services/bios/smi_transport.h"

namespace {

int bios_status()
{
    return static_cast<int>(smi_request.output[0]);
}

// Auto-on -----------------------------------------------------------------------------------

struct AutoOnMode {
    uint32_t token;
    uint32_t value;
    const char *fail_message;
    bool days;  // the day tokens follow the mode token
    bool time;  // hour and minute follow
};

constexpr AutoOnMode auto_on_modes[] = {
    {0x28, 0, "SMBIOS: set Auto on device off error %d\n", false, false},
    {0x29, 1, "SMBIOS: set Auto On Day error %d\n", false, true},
    {0x2A, 2, "SMBIOS: set Auto On Week error %d\n", false, true},
    {0x312, 3, "SMBIOS: set Day Control Enable On error %d\n", true, true},
};

struct AutoOnDay {
    uint32_t on_token;
    uint32_t off_token;
    const char *fail_message;
};

// Sunday (bit 0) to Saturday (bit 6).
constexpr AutoOnDay auto_on_day_tokens[] = {
    {0x313, 0x314, "SMBIOS: set Sunday auto on error %d\n"},
    {0x315, 0x316, "SMBIOS: set Monday auto on error %d\n"},
    {0x317, 0x318, "SMBIOS: set Tuesday auto on error %d\n"},
    {0x319, 0x31A, "SMBIOS: set Wedesday auto on error %d\n"},
    {0x31B, 0x31C, "SMBIOS: set Thursday auto on error %d\n"},
    {0x31D, 0x31E, "SMBIOS: set Friday auto on error %d\n"},
    {0x31F, 0x320, "SMBIOS: set Saturday auto on error %d\n"},
};

// The writes run in order and stop at the first failure, whose message is logged.
bool write_auto_on(const AutoOnMode &mode, const AutoOnSchedule &schedule, uint32_t key)
{
    if (!smi_token_write(mode.token, mode.value, key)) {
        wlog('D', log_tag::bios, mode.fail_message, bios_status());
        return false;
    }
    if (mode.days && schedule.days) {
        for (size_t bit = 0; bit < G_N_ELEMENTS(auto_on_day_tokens); ++bit) {
            const AutoOnDay &day = auto_on_day_tokens[bit];
            const bool on = (*schedule.days >> bit) & 1;
            if (!smi_token_write(on ? day.on_token : day.off_token, on ? 1 : 0, key)) {
                wlog('D', log_tag::bios, day.fail_message, bios_status());
                return false;
            }
        }
    }
    if (!mode.time)
        return true;
    if (schedule.hour && bios_set_auto_on_hour(*schedule.hour, key) != 0)
        return false;
    return !schedule.minute || bios_set_auto_on_minute(*schedule.minute, key) == 0;
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
    const TextWord *words;
    size_t word_count;
    const char *fail_message;  // a token write failed ("%d": the BIOS status); operations log their own
    bool fail_on_stdout;       // the failure message is printed, without the status
    const char *done_stdout;   // printed with the value after a successful token write
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

constexpr TextWord LAN_WORD = {"LAN", 0, WordAction::token, 0x57, 5};
constexpr const char *SFP_NIC_MODEL = "Vantor 70";
constexpr const char *SFP_NIC_INTERFACE = "re1";

// In the order of BiosTextSetting.
constexpr TextSettingRow text_settings[BIOS_TEXT_COUNT] = {
    {"DeviceKORACMOSACRecovery", ac_recovery_words, G_N_ELEMENTS(ac_recovery_words), "SMBIOS: set ac power error\n",
     true, "SMBIOS: smbios_setPowerLoss is done to set %d\n", "powerloss set err\n", "{KoraCMOSACRecovery: ok}",
     "{KoraCMOSPowerLoss: set err}", "powerloss input value err\n", "{KoraCMOSPowerLoss: input err}"},
    {"DeviceKORACMOSAutoPower", auto_power_words, G_N_ELEMENTS(auto_power_words), nullptr, false, nullptr,
     "autopower set err\n", "{KoraCMOSAutoPower: ok}", "{KoraCMOSAutoPower: set err}", "autopower input value err\n",
     "{KoraCMOSAutoPower: input err}"},
    {"DeviceKORACMOSWakeOnLan", wake_on_lan_words, G_N_ELEMENTS(wake_on_lan_words),
     "SMBIOS: set wake on lan error %d\n", false, nullptr, "wakeonlan set err\n", "{KoraCMOSWakeOnLAN: ok}",
     "{KoraCMOSWakeOnLAN: set err}", "wakeonlan input value err\n", "{KoraCMOSWakeOnLAN: input err}"},
    {"DeviceKORACMOSMACPASSConfigure", mac_pass_words, G_N_ELEMENTS(mac_pass_words),
     "SMBIOS: set mac pass through %d\n", false, nullptr, "mac pass set err\n", "{KoraCMOSMACPASSConfigure: ok}",
     "{KoraCMOSMACPASSConfigure: set err}", "mac pass input value err\n", "{KoraCMOSMACPASSConfigure: input err}"},
    {"DeviceKORACMOSDeepSleep", deep_sleep_words, G_N_ELEMENTS(deep_sleep_words), nullptr, false, nullptr,
     "deepsleep set err\n", "{DeepSleep: ok}", "{DeepSleep: set err}", "deepsleep input value err\n",
     "{DeepSleep: input err}"},
    {"DeviceKORACMOSFastboot", fastboot_words, G_N_ELEMENTS(fastboot_words),
     "SMBIOS: Set FastBoot error..., return value %d\n", false, nullptr, "Fastboot set err\n", "{Fastboot: ok}",
     "{Fastboot: set err}", "Fastboot input value err\n", "{Fastboot: input err}"},
    {"DeviceKORACMOSExtendedBIOSPostTime", post_time_words, G_N_ELEMENTS(post_time_words),
     "SMBIOS: Set Extend Post Time error ,return value %d\n", false, nullptr, "Extend BIOS POST Time set err\n",
     "{Extend BIOS POST Time: ok}", "{Extend BIOS POST Time: set err}", "Extend BIOS POST Time input value err\n",
     "{Extended Bios POST Time: input err}"},
    {"DeviceKORACMOSKeyboardErrorDetection", keyboard_words, G_N_ELEMENTS(keyboard_words),
     "SMBIOS: set Keyboard Error Reporting error ,return value %d\n", false, nullptr, "Keyboard Errors set err\n",
     "{Keyboard Errors: ok}", "{Keyboard Errors: set err}", "Keyboard Errors input value err\n",
     "{Keyboard Errors: input err}"},
};

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
    if (!smi_token_write(word.token, word.value, key)) {
        if (row.fail_on_stdout)
            print_diagnostic("%s", row.fail_message);
        else
            wlog('D', log_tag::bios, row.fail_message, bios_status());
        return false;
    }
    if (row.done_stdout)
        print_diagnostic(row.done_stdout, static_cast<int>(word.value));
    return true;
}

bool apply_word(const TextSettingRow &row, const TextWord &word, const AutoOnSchedule &schedule, uint32_t key)
{
    switch (word.action) {
    case WordAction::token:
        return write_token_word(row, word, key);
    case WordAction::deep_sleep:
        return bios_set_deep_sleep(static_cast<int>(word.value), key) == 0;
    case WordAction::auto_on:
        return write_auto_on(auto_on_modes[word.value], schedule, key);
    case WordAction::lan_or_sfp:
        if (bios_model_is(SFP_NIC_MODEL) && host_net_interface_exists(SFP_NIC_INTERFACE))
            return write_token_word(row, word, key);
        return write_token_word(row, LAN_WORD, key);
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
    SwitchWrite on;   // value 1
    SwitchWrite off;  // value 0
    const char *model;  // nullptr: the same writes on every model
    SwitchWrite model_on;
    SwitchWrite model_off;
    const char *fail_message;  // after a failed token write ("%d": the BIOS status)
    const char *set_err_log;
    const char *input_err_log;
    const char *ok_fragment;  // the three fragments: nullptr for rows without
    const char *set_err_fragment;
    const char *input_err_fragment;
};

constexpr SwitchWrite token(uint32_t number, uint32_t value)
{
    return {number, value, nullptr};
}

constexpr SwitchWrite operation(SwitchOperation op, int enable)
{
    return {0, static_cast<uint32_t>(enable), op};
}

constexpr SwitchWrite NO_WRITE = {0, 0, nullptr};

constexpr SwitchRow switch_rows[BIOS_SWITCH_COUNT] = {
    {"DeviceKORACMOSWakeOnUSB", operation(bios_set_wake_on_usb, 1), operation(bios_set_wake_on_usb, 0), nullptr,
     NO_WRITE, NO_WRITE, nullptr, "wakeonusb set err\n", "wakeonusb input value err\n",
     "{KoraCMOSWakeOnUSB: set ok}", "{KoraCMOSWakeOnUSB: set err}", "{KoraCMOSWakeOnUSB: input err}"},
    {"DeviceKORACMOSAudio", token(0x22, 1), token(0x23, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set Sound device on error %d\n", "audio set err\n", "set audio input value err\n",
     "{KoraCMOSAudio: set ok}", "{KoraCMOSAudio: set err}", "{KoraCMOSAudio: input err}"},
    {"DeviceKORACMOSAdminLock", token(0x2BD, 1), token(0x2BE, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set Admin Lock error %d\n", "admin lock set err\n", "set admin lock input value err\n",
     "{KoraCMOSAdminLock: set ok}", "{KoraCMOSAdminLock: set err}", "{KoraCMOSAdmiLock: input err}"},
    {"DeviceKORACMOSUSBRearPort", token(0x41A, 1), token(0x41B, 0), "K20", token(0x1D5, 1), token(0x1D4, 0),
     "SMBIOS: set Rear-Left Dual USB 2.0 device on error %d\n", "rear usb set err\n", "rear usb input value err\n",
     nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBFrontTopPort", token(0x3E3, 1), token(0x3E2, 0), "Vantor 70", token(0x3E5, 1),
     token(0x3E4, 0), "SMBIOS: set front top usb %d\n", "rear usb front set err\n",
     "rear usb front input value err\n", nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBFrontTopMePort", token(0x3E5, 1), token(0x3E4, 0), "Vantor 70",
     operation(bios_set_front_bottom_usb, 1), operation(bios_set_front_bottom_usb, 0),
     "SMBIOS: set front top medium usb %d\n", "usb top medium set err\n", "usb top medium input value err\n",
     nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBFrontBottomMePort", operation(bios_set_front_bottom_usb, 1),
     operation(bios_set_front_bottom_usb, 0), nullptr, NO_WRITE, NO_WRITE, nullptr, "usb bottom medium set err\n",
     "usb bottom medium input value err\n", nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBFrontBottomPort", token(0x3E9, 1), token(0x3E8, 0), "Vantor 70", token(0x3E3, 1),
     token(0x3E2, 0), "SMBIOS: set front usb bottom %d\n", "usb bottom set err\n", "usb bottom input value err\n",
     nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBBootSupport", operation(bios_set_usb_boot_support, 1), operation(bios_set_usb_boot_support, 0),
     nullptr, NO_WRITE, NO_WRITE, nullptr, "usb boot set err\n", "usb boot input value err\n", nullptr, nullptr,
     nullptr},
    {"DeviceKORACMOSPXEBootSupport", operation(bios_set_pxe_nic1, 1), operation(bios_set_pxe_nic1, 0), nullptr,
     NO_WRITE, NO_WRITE, nullptr, "pxe boot set err\n", "pxe boot input value err\n", nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBFrontPort", token(0x14F, 1), token(0x14E, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set Front USB device on error %d\n", "usb front set err\n", "usb front input value err\n", nullptr,
     nullptr, nullptr},
    // Never switches secure boot off once it is on (the operation's own rule).
    {"DeviceKORACMOSSecureBoot", operation(bios_set_secure_boot, 1), operation(bios_set_secure_boot, 0), nullptr,
     NO_WRITE, NO_WRITE, nullptr, "secure boot set err\n", "secure boot input value err\n", nullptr, nullptr,
     nullptr},
    // Inverted: the BIOS token that turns the OSD setting on is written with 0.
    {"DeviceKORACMOSOSDConfigure", token(0x372, 0), token(0x373, 1), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set OSD error ,return value %d\n", "osd set err\n", "osd input value err\n", nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBSidePortTop", token(0x1B6, 1), token(0x1B5, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set side top usb %d\n", "side top usb set err\n", "side top usb input value err\n", nullptr, nullptr,
     nullptr},
    {"DeviceKORACMOSUSBSideBottom", token(0x1B8, 1), token(0x1B7, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set side bottom usb %d\n", "side bot usb set err\n", "side bot usb input value err\n", nullptr, nullptr,
     nullptr},
    {"DeviceKORACMOSUSBRearPortTopLeft", token(0x1A2, 1), token(0x1A1, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set rear top left usb %d\n", "rear top left set err\n", "rear top left input value err\n", nullptr,
     nullptr, nullptr},
    {"DeviceKORACMOSUSBRearPortTopRight", token(0x1A4, 1), token(0x1A3, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set rear top right usb %d\n", "rear top right set err\n", "rear top right input value err\n", nullptr,
     nullptr, nullptr},
    {"DeviceKORACMOSUSBRearBottomLeft", token(0x1A6, 1), token(0x1A5, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set rear bottom left usb %d\n", "rear bot left set err\n", "rear bot left input value err\n", nullptr,
     nullptr, nullptr},
    {"DeviceKORACMOSUSBRearPortBottomRight", token(0x1A8, 1), token(0x1A7, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set rear bottom right usb %d\n", "rear bot right set err\n", "rear bot right input value err\n",
     nullptr, nullptr, nullptr},
    {"DeviceKORACMOSUSBSidePort", token(0x41C, 1), token(0x41D, 0), nullptr, NO_WRITE, NO_WRITE,
     "SMBIOS: set side all usb error %d\n", "all side set err\n", "all side input value err\n", nullptr, nullptr,
     nullptr},
};

bool write_switch(const SwitchRow &row, const SwitchWrite &write, uint32_t key)
{
    if (write.operation)
        return write.operation(static_cast<int>(write.value), key) == 0;
    if (!smi_token_write(write.token, write.value, key)) {
        wlog('D', log_tag::bios, row.fail_message, bios_status());
        return false;
    }
    return true;
}

void append(std::string *result, const char *fragment)
{
    if (fragment)
        *result += fragment;
}

// Dock warning ------------------------------------------------------------------------------

constexpr uint32_t TOKEN_DOCK_WARN_ON = 0x3A8;
constexpr uint32_t TOKEN_DOCK_WARN_OFF = 0x3A9;

}  // namespace

const char *bios_text_member(BiosTextSetting setting)
{
    return text_settings[setting].member;
}

bool bios_write_text_setting(BiosTextSetting setting, const char *value, const AutoOnSchedule &schedule,
                             uint32_t security_key, std::string *result)
{
    const TextSettingRow &row = text_settings[setting];
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
    const bool ok = value == 1 ? smi_token_write(TOKEN_DOCK_WARN_ON, 1, security_key)
                               : smi_token_write(TOKEN_DOCK_WARN_OFF, 0, security_key);
    if (!ok) {
        wlog('N', log_tag::bios, "SMBIOS: set_suppress_dock_warn error %d\n", bios_status());
        wlog('D', log_tag::bios, "SUPRESS_DOCKER_INCOMPATIBLE_WARN Set err\n");
        *result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set err}";
        return false;
    }
    *result += "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set OK}";
    return true;
}

const char *bios_switch_member(size_t index)
{
    return index < BIOS_SWITCH_COUNT ? switch_rows[index].member : nullptr;
}

bool bios_write_switch(size_t index, int value, uint32_t security_key, std::string *result)
{
    if (index >= BIOS_SWITCH_COUNT)
        return false;
    const SwitchRow &row = switch_rows[index];
    if (value != 0 && value != 1) {
        wlog('D', log_tag::bios, "%s", row.input_err_log);
        append(result, row.input_err_fragment);
        return false;
    }
    const bool variant = row.model && bios_model_is(row.model);
    const SwitchWrite &write = value == 1 ? (variant ? row.model_on : row.on) : (variant ? row.model_off : row.off);
    if (!write_switch(row, write, security_key)) {
        wlog('D', log_tag::bios, "%s", row.set_err_log);
        append(result, row.set_err_fragment);
        return false;
    }
    append(result, row.ok_fragment);
    return true;
}
