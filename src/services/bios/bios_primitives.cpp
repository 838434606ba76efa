#include "services/bios/bios_primitives.h"

#include <glib.h>
#include <optional>

#include "common/log.h"
#include "common/reply.h"
#include "services/bios/smi_transport.h"

namespace {

// Packed BCD as the BIOS keeps the auto-on time (23 <-> 0x23).
uint32_t to_bcd(uint32_t number)
{
    return number < 10 ? number : (number % 10) + 16 * (number / 10);
}

int from_bcd(uint32_t value)
{
    return static_cast<int>((value & 0xF) + 10 * ((value >> 4) & 0x0FFFFFFF));
}

struct DeepSleepMode {
    int mode;
    uint32_t token;
};
constexpr DeepSleepMode deep_sleep_modes[] = {{0, 0xF6}, {2, 0x30F}, {4, 0xF5}};

struct NumberGetter {
    uint32_t token;
    const char *fail_text;  // logged with the BIOS status
};

// Indexed by BiosAutoOn; the BIOS keeps the hour and the minute in packed BCD.
struct AutoOnGetter {
    NumberGetter read;
    bool bcd;
};
constexpr AutoOnGetter auto_on_getters[] = {
    {{0x28, "SMBIOS: get Auto on device off error"}, false},
    {{0x29, "SMBIOS: get Auto Day on device error"}, false},
    {{0x2A, "SMBIOS: get Auto on Week on error"}, false},
    {{0x2B, "SMBIOS: get Auto hour device value error"}, true},
    {{0x2C, "SMBIOS: get Auto minutes device value error"}, true},
};

// The value read, or nothing after a logged failure.
std::optional<uint32_t> read_number(const NumberGetter &getter, uint32_t argument = 0)
{
    return smi_token_read_logged(getter.token, argument, getter.fail_text);
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

// Hour and minute share their checks: unsigned, so a negative number is refused too.
int write_bcd(uint32_t token, int number, unsigned limit, const char *range_message, const char *fail_text,
              uint32_t key)
{
    if (static_cast<unsigned>(number) > limit) {
        wlog('D', log_tag::bios, "%s", range_message);
        return -1;
    }
    return smi_token_write_logged(token, to_bcd(static_cast<uint32_t>(number)), key, fail_text) ? 0 : -1;
}

// A request of its own class that failed: its message with the BIOS status, and its member.
int failed_request(const SmiAnswer &answer, const char *message, const char *key, const char *value,
                   std::string *fragment)
{
    wlog('D', log_tag::bios, "%s %d\n", message, static_cast<int>(answer.status()));
    bios_append_member(fragment, key, value);
    return -1;
}

}  // namespace

int bios_set_deep_sleep(int mode, uint32_t security_key)
{
    for (const auto &row : deep_sleep_modes)
        if (row.mode == mode)
            return smi_token_write_logged(row.token, static_cast<uint32_t>(mode), security_key, "SMBIOS: set deepsleep")
                       ? 0
                       : -1;
    wlog('D', log_tag::bios, "SMBIOS: smbios deepsleep Invalid Setting\n");
    return -1;
}

int bios_set_wake_on_usb(int enable, uint32_t security_key)
{
    const uint32_t value = enable ? 1 : 0;
    const SmiAnswer answer = smi_token_write(enable ? 0x147 : 0x146, value, security_key);
    if (!answer.ok()) {
        print_diagnostic("SMBIOS: set wake on USB error %d\n", static_cast<int>(answer.status()));
        return -1;
    }
    print_diagnostic("SMBIOS: set %d to wakeonusb\n", static_cast<int>(value));
    return 0;
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

int bios_get_auto_on(BiosAutoOn which)
{
    const AutoOnGetter &getter = auto_on_getters[static_cast<size_t>(which)];
    const std::optional<uint32_t> value = read_number(getter.read);
    if (!value)
        return -1;
    // The mode reads are small counts: masked so that no reading passes for the -1 of a failure.
    return getter.bcd ? from_bcd(*value) : static_cast<int>(*value & 0x7fffffff);
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

void bios_append_member(std::string *fragment, const char *key, const char *value)
{
    *fragment += "\"" + std::string(key) + "\": \"" + json_escape(value) + "\",";
}

int bios_get_admin_password_state(const char *key, std::string *fragment)
{
    const SmiAnswer answer = smi_request(smi_class::password, smi_select::password_properties);
    if (!answer.ok())
        return failed_request(answer, "SMBIOS: get admin password properties error", key, "Error", fragment);
    bios_append_member(fragment, key, (answer.value() & 1) ? "No" : "Yes");
    return 0;
}

int bios_get_asset_tag(const char *key, std::string *fragment)
{
    const SmiAnswer answer = smi_request(smi_class::asset_tag, 0);
    if (!answer.ok())
        return failed_request(answer, "SMBIOS: get asset tag error", key, "", fragment);
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
    bios_append_member(fragment, key, tag);
    return 0;
}
