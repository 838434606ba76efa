#include "services/bios/bios_primitives.h"

#include <cstdio>
#include <glib.h>
#include <optional>
#include <string>

#include "common/log.h"
#include "common/reply.h"
#include "services/bios/smi_transport.h"

namespace {

struct TokenValue {
    uint32_t token;
    uint32_t value;
};

// A setting switched by one token for on and another for off.
struct SwitchSetter {
    TokenValue on;
    TokenValue off;
    const char *fail_text;  // logged with the BIOS status
};

constexpr SwitchSetter pxe_nic1 = {{0x2D, 2}, {0x6E, 1}, "SMBIOS: set PXE NIC1 error"};
constexpr SwitchSetter front_bottom_usb = {{0x3E7, 1}, {0x3E6, 0}, "SMBIOS: set front bottom usb medium"};
constexpr SwitchSetter usb_boot_support = {{0x9B, 1}, {0x109, 0}, "SMBIOS: set Boot from USB support error"};
constexpr TokenValue wake_on_usb_on = {0x147, 1};
constexpr TokenValue wake_on_usb_off = {0x146, 0};

struct DeepSleepMode {
    int mode;
    TokenValue write;
};
constexpr DeepSleepMode deep_sleep_modes[] = {{0, {0xF6, 0}}, {2, {0x30F, 2}}, {4, {0xF5, 4}}};

int write_switch(const SwitchSetter &setter, int enable, uint32_t key)
{
    const TokenValue &write = enable ? setter.on : setter.off;
    return smi_token_write_logged(write.token, write.value, key, setter.fail_text) ? 0 : -1;
}

struct NumberGetter {
    uint32_t token;
    const char *fail_text;  // logged with the BIOS status
};

constexpr NumberGetter auto_on_off = {0x28, "SMBIOS: get Auto on device off error"};
constexpr NumberGetter auto_on_everyday = {0x29, "SMBIOS: get Auto Day on device error"};
constexpr NumberGetter auto_on_weekdays = {0x2A, "SMBIOS: get Auto on Week on error"};
constexpr NumberGetter auto_on_hour = {0x2B, "SMBIOS: get Auto hour device value error"};
constexpr NumberGetter auto_on_minute = {0x2C, "SMBIOS: get Auto minutes device value error"};

// The value read, or nothing after a logged failure.
std::optional<uint32_t> read_number(const NumberGetter &getter, uint32_t argument = 0)
{
    return smi_token_read_logged(getter.token, argument, getter.fail_text);
}

// -1 on failure, else the value as read (the BIOS keeps these small).
int read_count(const NumberGetter &getter)
{
    const std::optional<uint32_t> value = read_number(getter);
    return value ? static_cast<int>(*value & 0x7fffffff) : -1;
}

// Day-mask reads: the day-control switch first (its status only), then one read per day.
struct DayRead {
    NumberGetter read;
    uint32_t argument;
    int bit;  // -1: status only
};
constexpr DayRead day_reads[] = {
    {{0x312, "SMBIOS: get Day Control Enable On error"}, 3, -1},
    {{0x313, "SMBIOS: get Day Control Enable SUN error"}, 0, 0},
    {{0x315, "SMBIOS: set Day Control Enable MON error"}, 0, 1},
    {{0x317, "SMBIOS: set Day Control Enable TUE error"}, 0, 2},
    {{0x319, "SMBIOS: set Day Control Enable WED error"}, 0, 3},
    {{0x31B, "SMBIOS: set Day Control Enable THU error"}, 0, 4},
    {{0x31D, "SMBIOS: set Day Control Enable FRI error"}, 0, 5},
    {{0x31F, "SMBIOS: set Day Control Enable SAT error"}, 0, 6},
};

struct ValueText {
    uint32_t value;
    const char *text;
};

// A setting read by one token and shown as a word.
struct FragmentGetter {
    uint32_t token;
    const ValueText *values;
    size_t value_count;
    const char *other_text;  // for any other value; nullptr: fragment untouched
    int other_result;        // result for any other value
    const char *fail_log;    // logged after a failed read, with the BIOS status when the next says so
    bool fail_log_status;
    const char *fail_value;  // fragment value on failure; nullptr: fragment untouched
};

constexpr ValueText ac_recovery_values[] = {{0, "PowerOff"}, {1, "PowerOn"}, {2, "LastState"}};
constexpr ValueText wake_on_lan_values[] = {{5, "LAN"}, {7, "PXE"}};
constexpr ValueText deep_sleep_values[] = {{0, "Disabled"}, {2, "EnabledInS5Only"}, {4, "EnabledInS4andS5"}};
constexpr ValueText fastboot_values[] = {{0, "Minimal"}, {1, "Thorough"}, {2, "Auto"}};
constexpr ValueText post_time_values[] = {{0, "0second"}, {1, "5seconds"}, {2, "10seconds"}};
constexpr ValueText mac_pass_values[] = {{0, "yes"}, {1, "Intergrated"}};
constexpr ValueText keyboard_values[] = {{1, "Enable"}, {0, "Disable"}};

template <size_t N>
constexpr FragmentGetter fragment_getter(uint32_t token, const ValueText (&values)[N], const char *other_text,
                                         int other_result, const char *fail_log, const char *fail_value,
                                         bool fail_log_status = true)
{
    return {token, values, N, other_text, other_result, fail_log, fail_log_status, fail_value};
}

constexpr FragmentGetter ac_recovery = fragment_getter(0xA3, ac_recovery_values, "get power err", -1,
                                                       "SMBIOS: get ac power error", "get power err", false);
constexpr FragmentGetter wake_on_lan =
    fragment_getter(0x216, wake_on_lan_values, "Disable", 0, "SMBIOS: get wake on lan error", "get data err");
constexpr FragmentGetter deep_sleep =
    fragment_getter(0xF5, deep_sleep_values, nullptr, 0, "SMBIOS: get deep sleep state error", "get data err");
constexpr FragmentGetter fastboot =
    fragment_getter(0xEA, fastboot_values, nullptr, 0, "SMBIOS: Get Fastboot error", "get data err");
constexpr FragmentGetter post_time =
    fragment_getter(0x3C6, post_time_values, nullptr, 0, "SMBIOS: get Extend Post Time  error", "get data err");
constexpr FragmentGetter mac_pass =
    fragment_getter(0x499, mac_pass_values, "no", 0, "SMBIOS: get mac pass error", "get data err");
constexpr FragmentGetter keyboard =
    fragment_getter(0x9D, keyboard_values, nullptr, 0, "SMBIOS: get Keyboard Error Reporting error", nullptr);

void write_fragment(char *fragment, const char *key, const char *value)
{
    const std::string escaped = json_escape(value);
    g_snprintf(fragment, bios_fragment_size, "\"%s\": \"%s\",", key, escaped.c_str());
}

int read_fragment(const FragmentGetter &getter, const char *key, char *fragment)
{
    const SmiAnswer answer = smi_token_read(getter.token);
    if (!answer.ok()) {
        if (getter.fail_log_status)
            wlog('D', log_tag::bios, "%s %d\n", getter.fail_log, static_cast<int>(answer.status()));
        else
            wlog('D', log_tag::bios, "%s\n", getter.fail_log);
        if (getter.fail_value)
            write_fragment(fragment, key, getter.fail_value);
        return -1;
    }
    const uint32_t value = answer.value();
    for (size_t i = 0; i < getter.value_count; ++i) {
        if (getter.values[i].value == value) {
            write_fragment(fragment, key, getter.values[i].text);
            return 0;
        }
    }
    if (getter.other_text)
        write_fragment(fragment, key, getter.other_text);
    return getter.other_result;
}

// Hour and minute share their checks: unsigned, so a negative number is refused too.
int write_bcd(uint32_t token, int number, unsigned limit, const char *range_message, const char *fail_text,
              uint32_t key)
{
    if (static_cast<unsigned>(number) > limit) {
        wlog('D', log_tag::bios, "%s", range_message);
        return -1;
    }
    return smi_token_write_logged(token, bios_to_bcd(static_cast<uint32_t>(number)), key, fail_text) ? 0 : -1;
}

}  // namespace

uint32_t bios_to_bcd(uint32_t number)
{
    return number < 10 ? number : (number % 10) + 16 * (number / 10);
}

int bios_from_bcd(uint32_t value)
{
    return static_cast<int>((value & 0xF) + 10 * ((value >> 4) & 0x0FFFFFFF));
}

int bios_set_pxe_nic1(int enable, uint32_t security_key)
{
    return write_switch(pxe_nic1, enable, security_key);
}

int bios_set_deep_sleep(int mode, uint32_t security_key)
{
    for (const auto &row : deep_sleep_modes) {
        if (row.mode != mode)
            continue;
        return smi_token_write_logged(row.write.token, row.write.value, security_key, "SMBIOS: set deepsleep") ? 0 : -1;
    }
    wlog('D', log_tag::bios, "SMBIOS: smbios deepsleep Invalid Setting\n");
    return -1;
}

int bios_set_front_bottom_usb(int enable, uint32_t security_key)
{
    return write_switch(front_bottom_usb, enable, security_key);
}

int bios_set_wake_on_usb(int enable, uint32_t security_key)
{
    const TokenValue &write = enable ? wake_on_usb_on : wake_on_usb_off;
    const SmiAnswer answer = smi_token_write(write.token, write.value, security_key);
    if (!answer.ok()) {
        print_diagnostic("SMBIOS: set wake on USB error %d\n", static_cast<int>(answer.status()));
        return -1;
    }
    print_diagnostic("SMBIOS: set %d to wakeonusb\n", static_cast<int>(write.value));
    return 0;
}

int bios_set_usb_boot_support(int enable, uint32_t security_key)
{
    return write_switch(usb_boot_support, enable, security_key);
}

int bios_set_auto_on_hour(int hour, uint32_t security_key)
{
    return write_bcd(0x2B, hour, 23, "SMBIOS: input Hour value error\n", "SMBIOS: set Auto On Hour error",
                     security_key);
}

int bios_set_auto_on_minute(int minute, uint32_t security_key)
{
    return write_bcd(0x2C, minute, 59, "SMBIOS: input Minute value error\n", "SMBIOS: set Auto On Minute error",
                     security_key);
}

int bios_get_auto_on_off()
{
    return read_count(auto_on_off);
}

int bios_get_auto_on_everyday()
{
    return read_count(auto_on_everyday);
}

int bios_get_auto_on_weekdays()
{
    return read_count(auto_on_weekdays);
}

int bios_get_auto_on_hour()
{
    const std::optional<uint32_t> value = read_number(auto_on_hour);
    return value ? bios_from_bcd(*value) : -1;
}

int bios_get_auto_on_minute()
{
    const std::optional<uint32_t> value = read_number(auto_on_minute);
    return value ? bios_from_bcd(*value) : -1;
}

int bios_get_auto_on_days()
{
    int mask = 0;
    for (const auto &day : day_reads) {
        const std::optional<uint32_t> value = read_number(day.read, day.argument);
        if (!value)
            return -1;
        if (day.bit >= 0)
            mask |= static_cast<int>(*value & 1) << day.bit;
    }
    return mask;
}

int bios_get_ac_recovery(const char *key, char *fragment)
{
    return read_fragment(ac_recovery, key, fragment);
}

int bios_get_wake_on_lan(const char *key, char *fragment)
{
    return read_fragment(wake_on_lan, key, fragment);
}

int bios_get_deep_sleep(const char *key, char *fragment)
{
    return read_fragment(deep_sleep, key, fragment);
}

int bios_get_fastboot(const char *key, char *fragment)
{
    return read_fragment(fastboot, key, fragment);
}

int bios_get_extended_post_time(const char *key, char *fragment)
{
    return read_fragment(post_time, key, fragment);
}

int bios_get_mac_passthrough(const char *key, char *fragment)
{
    return read_fragment(mac_pass, key, fragment);
}

int bios_get_keyboard_error_reporting(const char *key, char *fragment)
{
    return read_fragment(keyboard, key, fragment);
}

int bios_get_admin_password_state(const char *key, char *fragment)
{
    const SmiAnswer answer = smi_request(smi_class::password, smi_select::password_properties);
    if (!answer.ok()) {
        wlog('D', log_tag::bios, "SMBIOS: get admin password properties error %d\n", static_cast<int>(answer.status()));
        write_fragment(fragment, key, "Error");
        return -1;
    }
    write_fragment(fragment, key, (answer.value() & 1) ? "No" : "Yes");
    return 0;
}

int bios_get_asset_tag(const char *key, char *fragment)
{
    const SmiAnswer answer = smi_request(smi_class::asset_tag, 0);
    if (!answer.ok()) {
        wlog('D', log_tag::bios, "SMBIOS: get asset tag error %d\n", static_cast<int>(answer.status()));
        write_fragment(fragment, key, "");
        return -1;
    }
    // The tag is the text of the result words after the status, each word's bytes lowest
    // first; the answer carries two words, so the tag ends after eight bytes at the latest.
    constexpr size_t tag_max = 8;
    char tag[tag_max + 1] = {};
    for (size_t i = 0; i < tag_max; ++i) {
        const char byte = static_cast<char>(answer.output[1 + i / 4] >> (8 * (i % 4)));
        if (byte == '\0')
            break;
        tag[i] = byte;
    }
    print_diagnostic("SMBIOS: asset tag: %s\n", tag);
    write_fragment(fragment, key, tag);
    return 0;
}
