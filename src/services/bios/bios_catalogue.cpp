#include "services/bios/bios_catalogue.h"

#include <cstring>
#include <glib.h>

#include "services/bios/bios_access.h"
#include "services/bios/bios_primitives.h"

namespace {

constexpr BiosWord ac_recovery_words[] = {{"PowerOff", 0xA1, 0}, {"PowerOn", 0xA3, 1}, {"LastState", 0xA2, 2}};
// The mode rows of the auto-on writer.
constexpr BiosWord auto_power_words[] = {{"Disable", 0, 0}, {"Daily", 0, 1}, {"Workday", 0, 2}, {"Days", 0, 3}};
// "LANORSFPNIC" is the SFP adapter of a "Vantor 70" that has one, else "LAN" (see the writer).
constexpr BiosWord wake_on_lan_words[] = {
    {"Disable", 0x55, 0}, {"LANORSFPNIC", 0x464, 9, 0, true}, {"LAN", 0x57, 5}, {"PXE", 0x383, 7}};
constexpr BiosWord mac_pass_words[] = {{"yes", 0x499, 0}, {"no", 0x49B, 2}, {"Intergrated", 0x49A, 1, 10}};
constexpr BiosWord deep_sleep_words[] = {{"Disabled", 0, 0}, {"EnabledInS5Only", 0, 2}, {"EnabledInS4andS5", 0, 4}};
constexpr BiosWord fastboot_words[] = {{"Minimal", 0xEA, 0}, {"Thorough", 0xEB, 1}, {"Auto", 0xEC, 2}};
constexpr BiosWord post_time_words[] = {{"0second", 0x3C6, 0}, {"5seconds", 0x3C7, 1}, {"10seconds", 0x3C8, 2}};
constexpr BiosWord keyboard_words[] = {{"Enable", 0x9D, 1}, {"Disable", 0x9E, 0}};

constexpr const char *mac_pass_model_list[] = {"K30MTC", "Lumen 81", "Lumen 82", "Lumen 83", "Lumen 84"};
constexpr const char *no_fastboot_model_list[] = {"K60AIO"};
constexpr const char *aio_model_list[] = {"K30AIO", "K40AIO", "K50AIO", "K60AIO"};
constexpr const char *side_port_model_list[] = {"K50AIO", "K60AIO"};
constexpr const char *dock_warning_model_list[] = {"Vantor 70"};
constexpr ModelSet aio = models_in(aio_model_list);

constexpr BiosOperation deep_sleep = [](BiosState &, int mode, uint32_t key) { return bios_set_deep_sleep(mode, key); };
constexpr BiosOperation wake_on_usb = [](BiosState &, int on, uint32_t key) { return bios_set_wake_on_usb(on, key); };
// Never switches secure boot off once it is on (the operation's own rule).
constexpr BiosOperation secure_boot = bios_set_secure_boot;

// One row a setting, its fields grouped by line: identity, reading, writing, texts.
// clang-format off
constexpr BiosSetting rows[] = {
    {.suffix = "EnablePassword", .read = BiosRead::password_state, .word_read = {.key_fail_log = "get pass err\n"}},
    {.suffix = "Assettag", .read = BiosRead::asset_tag, .word_read = {.key_fail_log = "get power err\n"}},
    // Text settings.
    {.suffix = "ACRecovery", .read = BiosRead::words, .token = 0xA3, .named = true, .read_prefix = "ACRe",
     .words = words_of(ac_recovery_words),
     .word_read = {"SMBIOS: get ac power error", "get ac  err\n", "get power err", "get power err", -1, false},
     .write = BiosWrite::words, .fail_text = "SMBIOS: set ac power error", .fail_on_stdout = true,
     .done_stdout = "SMBIOS: smbios_setPowerLoss is done to set", .log_name = "powerloss",
     .fragment = "KoraCMOSPowerLoss", .fragment_ok = "KoraCMOSACRecovery"},
    {.suffix = "AutoPower", .read = BiosRead::auto_power, .read_prefix = "Aut", .words = words_of(auto_power_words),
     .write = BiosWrite::auto_power, .log_name = "autopower", .fragment = "KoraCMOSAutoPower"},
    {.suffix = "WakeOnLan", .read = BiosRead::words, .token = 0x216, .named = true, .read_prefix = "WakeOnLa",
     .words = words_of(wake_on_lan_words),
     .word_read = {"SMBIOS: get wake on lan error", "get lan err\n", "get data err", "Disable"},
     .write = BiosWrite::words, .fail_text = "SMBIOS: set wake on lan error", .log_name = "wakeonlan",
     .fragment = "KoraCMOSWakeOnLAN"},
    {.suffix = "MACPASSConfigure", .models = models_in(mac_pass_model_list), .read = BiosRead::words, .token = 0x499,
     .read_prefix = "MACPASSC", .words = words_of(mac_pass_words),
     .word_read = {"SMBIOS: get mac pass error", "get mac err\n", "get data err", "no"}, .write = BiosWrite::words,
     .fail_text = "SMBIOS: set mac pass through", .log_name = "mac pass", .fragment = "KoraCMOSMACPASSConfigure"},
    {.suffix = "DeepSleep", .models = deep_sleep_models, .read = BiosRead::words, .token = 0xF5,
     .read_prefix = "DeepSleep", .read_on_models_only = true, .words = words_of(deep_sleep_words),
     .word_read = {"SMBIOS: get deep sleep state error", "get deepsleep state err\n"}, .write = BiosWrite::words,
     .operation = deep_sleep, .log_name = "deepsleep", .fragment = "DeepSleep"},
    {.suffix = "Fastboot", .models = models_except(no_fastboot_model_list), .read = BiosRead::words, .token = 0xEA,
     .read_prefix = "Fastboot", .words = words_of(fastboot_words),
     .word_read = {"SMBIOS: Get Fastboot error", "SMBIOS: Get Fastboot state error\n"}, .write = BiosWrite::words,
     .fail_text = "SMBIOS: Set FastBoot error..., return value", .log_name = "Fastboot", .fragment = "Fastboot"},
    {.suffix = "ExtendedBIOSPostTime", .read = BiosRead::words, .token = 0x3C6, .read_prefix = "ExtendedBIOSPostTime",
     .words = words_of(post_time_words),
     .word_read = {"SMBIOS: get Extend Post Time  error", "SMBIOS: Get Extend Post Time state error\n"},
     .write = BiosWrite::words, .fail_text = "SMBIOS: Set Extend Post Time error ,return value",
     .log_name = "Extend BIOS POST Time", .fragment = "Extend BIOS POST Time",
     .fragment_input = "Extended Bios POST Time"},
    {.suffix = "KeyboardErrorDetection", .read = BiosRead::words, .token = 0x9D,
     .read_prefix = "KeyboardErrorDetection", .words = words_of(keyboard_words),
     .word_read = {"SMBIOS: get Keyboard Error Reporting error", "SMBIOS: Get Keyboard Error state error\n", nullptr},
     .write = BiosWrite::words, .fail_text = "SMBIOS: set Keyboard Error Reporting error ,return value",
     .log_name = "Keyboard Errors", .fragment = "Keyboard Errors"},
    {.suffix = "SupressDockWarnMsg", .models = models_in(dock_warning_model_list), .write = BiosWrite::dock_warning,
     .on = {0x3A8, 1}, .off = {0x3A9, 0}, .variant = {.model = "Vantor 70", .read_token = 0x3A9}},
    // Switch settings.
    {.suffix = "WakeOnUSB", .token = 0x147, .write = BiosWrite::on_off, .operation = wake_on_usb,
     .log_name = "wakeonusb", .fragment = "KoraCMOSWakeOnUSB"},
    {.suffix = "Audio", .token = 0x22, .write = BiosWrite::on_off, .on = {0x22, 1}, .off = {0x23, 0},
     .fail_text = "SMBIOS: set Sound device on error", .log_name = "audio", .log_input = "set audio",
     .fragment = "KoraCMOSAudio"},
    {.suffix = "AdminLock", .token = 0x2BD, .write = BiosWrite::on_off, .on = {0x2BD, 1}, .off = {0x2BE, 0},
     .fail_text = "SMBIOS: set Admin Lock error", .log_name = "admin lock", .log_input = "set admin lock",
     .fragment = "KoraCMOSAdminLock", .fragment_input = "KoraCMOSAdmiLock"},
    {.suffix = "USBRearPort", .token = 0x41A, .write = BiosWrite::on_off, .on = {0x41A, 1}, .off = {0x41B, 0},
     .variant = {"K20", 0x1D5, {0x1D5, 1}, {0x1D4, 0}},
     .fail_text = "SMBIOS: set Rear-Left Dual USB 2.0 device on error", .log_name = "rear usb"},
    {.suffix = "USBFrontTopPort", .token = 0x3E3, .write = BiosWrite::on_off, .on = {0x3E3, 1}, .off = {0x3E2, 0},
     .variant = {"Vantor 70", 0x3E5, {0x3E5, 1}, {0x3E4, 0}}, .fail_text = "SMBIOS: set front top usb",
     .log_name = "rear usb front"},
    {.suffix = "USBFrontTopMePort", .token = 0x3E5, .write = BiosWrite::on_off, .on = {0x3E5, 1}, .off = {0x3E4, 0},
     .variant = {"Vantor 70", 0x3E5, {0x3E7, 1}, {0x3E6, 0}, "SMBIOS: set front bottom usb medium"},
     .fail_text = "SMBIOS: set front top medium usb", .log_name = "usb top medium"},
    {.suffix = "USBFrontBottomMePort", .token = 0x3E7, .write = BiosWrite::on_off, .on = {0x3E7, 1},
     .off = {0x3E6, 0}, .fail_text = "SMBIOS: set front bottom usb medium", .log_name = "usb bottom medium"},
    {.suffix = "USBFrontBottomPort", .token = 0x3E9, .write = BiosWrite::on_off, .on = {0x3E9, 1}, .off = {0x3E8, 0},
     .variant = {"Vantor 70", 0x3E3, {0x3E3, 1}, {0x3E2, 0}}, .fail_text = "SMBIOS: set front usb bottom",
     .log_name = "usb bottom"},
    {.suffix = "USBBootSupport", .token = 0x109, .write = BiosWrite::on_off, .on = {0x9B, 1}, .off = {0x109, 0},
     .fail_text = "SMBIOS: set Boot from USB support error", .log_name = "usb boot"},
    // Reads 2 when on and 1 when off.
    {.suffix = "PXEBootSupport", .token = 0x2D, .extract_on = 2, .write = BiosWrite::on_off, .on = {0x2D, 2},
     .off = {0x6E, 1}, .fail_text = "SMBIOS: set PXE NIC1 error", .log_name = "pxe boot"},
    {.suffix = "USBFrontPort", .token = 0x14F, .write = BiosWrite::on_off, .on = {0x14F, 1}, .off = {0x14E, 0},
     .fail_text = "SMBIOS: set Front USB device on error", .log_name = "usb front"},
    {.suffix = "SecureBoot", .token = 0x34F, .write = BiosWrite::on_off, .operation = secure_boot,
     .log_name = "secure boot"},
    // Inverted: the token that turns the OSD setting on is written with 0, and reads 0 then.
    {.suffix = "OSDConfigure", .models = aio, .token = 0x373, .extract_on = 0, .write = BiosWrite::on_off,
     .on = {0x372, 0}, .off = {0x373, 1}, .fail_text = "SMBIOS: set OSD error ,return value", .log_name = "osd"},
    {.suffix = "USBSidePortTop", .models = aio, .token = 0x1B6, .write = BiosWrite::on_off, .on = {0x1B6, 1},
     .off = {0x1B5, 0}, .fail_text = "SMBIOS: set side top usb", .log_name = "side top usb"},
    {.suffix = "USBSideBottom", .models = aio, .token = 0x1B8, .write = BiosWrite::on_off, .on = {0x1B8, 1},
     .off = {0x1B7, 0}, .fail_text = "SMBIOS: set side bottom usb", .log_name = "side bot usb"},
    {.suffix = "USBRearPortTopLeft", .models = aio, .token = 0x1A2, .write = BiosWrite::on_off, .on = {0x1A2, 1},
     .off = {0x1A1, 0}, .fail_text = "SMBIOS: set rear top left usb", .log_name = "rear top left"},
    {.suffix = "USBRearPortTopRight", .models = aio, .token = 0x1A4, .write = BiosWrite::on_off, .on = {0x1A4, 1},
     .off = {0x1A3, 0}, .fail_text = "SMBIOS: set rear top right usb", .log_name = "rear top right"},
    {.suffix = "USBRearBottomLeft", .models = aio, .token = 0x1A6, .write = BiosWrite::on_off, .on = {0x1A6, 1},
     .off = {0x1A5, 0}, .fail_text = "SMBIOS: set rear bottom left usb", .log_name = "rear bot left"},
    {.suffix = "USBRearPortBottomRight", .models = aio, .token = 0x1A8, .write = BiosWrite::on_off,
     .on = {0x1A8, 1}, .off = {0x1A7, 0}, .fail_text = "SMBIOS: set rear bottom right usb",
     .log_name = "rear bot right"},
    {.suffix = "USBSidePort", .models = models_in(side_port_model_list), .token = 0x41C, .write = BiosWrite::on_off,
     .on = {0x41C, 1}, .off = {0x41D, 0}, .fail_text = "SMBIOS: set side all usb error", .log_name = "all side"},
};
// clang-format on
static_assert(G_N_ELEMENTS(rows) == bios_setting_count, "bios_setting_count counts the rows");

}  // namespace

const BiosSetting &bios_setting(size_t index)
{
    return rows[index];
}

const BiosSetting *bios_setting_for_key(const char *key)
{
    const size_t prefix_length = strlen(bios_key_prefix);
    if (strncmp(key, bios_key_prefix, prefix_length) != 0)
        return nullptr;
    const char *rest = key + prefix_length;
    for (const auto &row : rows) {
        if (row.read == BiosRead::by_name)
            continue;
        if (row.read_prefix ? strncmp(rest, row.read_prefix, strlen(row.read_prefix)) == 0
                            : strcmp(rest, row.suffix) == 0)
            return &row;
    }
    return nullptr;
}

const BiosSetting *bios_setting_named(const char *name)
{
    for (const auto &row : rows)
        if ((row.read == BiosRead::by_name || row.named) && g_ascii_strcasecmp(name, row.suffix) == 0)
            return &row;
    return nullptr;
}

uint32_t bios_setting_token(const BiosSetting &row, const char *model)
{
    return row.variant.model && g_ascii_strcasecmp(model, row.variant.model) == 0 ? row.variant.read_token : row.token;
}
