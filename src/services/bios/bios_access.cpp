#include "services/bios/bios_access.h"

#include <cstring>
#include <glib.h>

#include "common/log.h"
#include "services/bios/bios_catalogue.h"
#include "services/bios/bios_state.h"
#include "services/bios/smi_transport.h"

namespace {

// Property word of the password-properties answer.
constexpr uint32_t prop_not_installed = 1u << 0;
constexpr uint32_t prop_ascii_only = 1u << 24;
constexpr uint32_t prop_alnum_only = 1u << 25;
constexpr uint8_t prop_max_len(uint32_t word)
{
    return static_cast<uint8_t>(word >> 8);
}
constexpr uint8_t prop_min_len(uint32_t word)
{
    return static_cast<uint8_t>(word >> 16);
}

constexpr int password_text_max = static_cast<int>(smi_password_max);

constexpr uint32_t token_secure_boot_on = 0x34F;
constexpr uint32_t token_secure_boot_off = 0x350;

int text_length(const char *text)
{
    const size_t len = text ? strlen(text) : 0;
    return len > G_MAXINT ? G_MAXINT : static_cast<int>(len);
}

bool is_ascii(char c)
{
    return !(static_cast<unsigned char>(c) & 0x80);
}

bool is_alnum(char c)
{
    return g_ascii_isalnum(c);
}

// False, with the first character that fails `test` logged by position, when one does.
bool all_characters(const char *password, int length, bool (*test)(char), const char *what)
{
    for (int i = 0; i < length; ++i) {
        if (!test(password[i])) {
            wlog('D', log_tag::bios, "the %d input password is no %s\n", i, what);
            return false;
        }
    }
    return true;
}

// 0 when the BIOS took the request; -1 when it could not be asked, `refused` when it said no
// (each logged, the refusal with the BIOS status).
int judge(const SmiAnswer &answer, const char *not_asked, const char *refusal, int refused)
{
    if (!answer.exchanged) {
        wlog('D', log_tag::bios, "%s", not_asked);
        return -1;
    }
    if (answer.status() != 0) {
        wlog('D', log_tag::bios, "%s %d\n", refusal, static_cast<int>(answer.status()));
        return refused;
    }
    return 0;
}

}  // namespace

int bios_check_password_properties(const char *password, int length, uint8_t *not_installed, uint8_t *max_len)
{
    const SmiAnswer answer = smi_request(smi_class::password, smi_select::password_properties);
    if (judge(answer, "get passwd,send smi err\n", "SMBIOS: get admin password properties error", -1) != 0)
        return -1;
    const uint32_t word = answer.value();
    if (word & prop_not_installed) {
        *not_installed = 1;
        if (length == 0)
            return 0;
    }
    const int maximum = prop_max_len(word);
    const int minimum = prop_min_len(word);
    if (maximum == 0) {
        wlog('D', log_tag::bios, "SMBIOS: get password max len error\n");
        return -1;
    }
    *max_len = static_cast<uint8_t>(maximum);
    // The request buffers hold 127 characters whatever the BIOS allows; a longer password
    // would be sent cut, so it is refused like any other over-long one.
    const int usable = maximum < password_text_max ? maximum : password_text_max;
    if (length > usable) {
        wlog('D', log_tag::bios, "set password too long, the max len is %d\n", usable);
        return -1;
    }
    if (length >= 1 && length < minimum) {
        wlog('D', log_tag::bios, "set password too short, the min len is %d\n", minimum);
        return -1;
    }
    if ((word & prop_ascii_only) && !all_characters(password, length, is_ascii, "ascii "))
        return -1;
    return (word & prop_alnum_only) && !all_characters(password, length, is_alnum, "alphanumeric") ? -1 : 0;
}

int bios_verify_admin_password(const char *password, uint32_t *security_key)
{
    uint8_t not_installed = 0;
    uint8_t max_len = 0;
    if (bios_check_password_properties(password, text_length(password), &not_installed, &max_len) != 0) {
        wlog('D', log_tag::bios, "SMBIOS: get password : check error\n");
        return -1;
    }
    if (not_installed) {
        wlog('D', log_tag::bios, "SMBIOS: password not installed\n");
        return 0;
    }
    const SmiAnswer answer = smi_password_verify(password, max_len);
    const int judged = judge(answer, "send smi, get security err\n", "SMBIOS: verify admin password error", -2);
    if (judged != 0)
        return judged;
    *security_key = answer.value();
    return 0;
}

int bios_change_admin_password(const char *password, const char *new_password, int mode)
{
    const bool remove = mode == bios_password_remove;
    const int new_length = remove ? 0 : text_length(new_password);
    uint8_t not_installed = 0;
    uint8_t max_len = 0;
    const int checked = bios_check_password_properties(new_password, new_length, &not_installed, &max_len);
    if (checked != 0) {
        wlog('D', log_tag::bios, "SMBIOS: check new admin password error %d\n", checked);
        return -1;
    }
    if (!not_installed && (text_length(password) > max_len || text_length(password) > password_text_max)) {
        wlog('D', log_tag::bios, "SMBIOS: input old password error\n");
        return -1;
    }
    // Without an installed password the current one goes out empty; a removal sends no new one.
    const SmiAnswer answer = smi_password_change(not_installed ? "" : password, remove ? "" : new_password, max_len);
    if (!answer.ok()) {
        wlog('D', log_tag::bios, "SMBIOS: set admin password error %d\n", static_cast<int>(answer.status()));
        return -1;
    }
    wlog('D', log_tag::bios, "SMBIOS: change password Ok \n");
    return 0;
}

int bios_set_secure_boot(BiosState &state, int enable, uint32_t security_key)
{
    wlog('D', log_tag::bios, "start to set secure boot, set val is %x\n", static_cast<unsigned>(enable));
    uint32_t current = 0;
    bios_read_token_by_name(state.model, "secureboot", &current);
    if (current == 1) {
        wlog('D', log_tag::bios, "secure value is enable,can not be changed");
        return 0;
    }
    const SmiAnswer written = enable ? smi_token_write(token_secure_boot_on, 1, security_key)
                                     : smi_token_write(token_secure_boot_off, 0, security_key);
    if (!written.ok()) {
        wlog('D', log_tag::bios, "SMBIOS: set Secure Boot error %d\n", static_cast<int>(written.status()));
        return -1;
    }
    state.reboot_needed = enable && state.secure_boot_by_install;
    wlog('D', log_tag::bios, "secure boot set ok\n");
    return 0;
}

int bios_read_token_by_name(const char *model, const char *name, uint32_t *value)
{
    const BiosSetting *row = bios_setting_named(name);
    if (!row) {
        wlog('D', log_tag::bios, "not check valid input parameter\n");
        wlog('D', log_tag::bios, "the input parameter error\n");
        return -1;
    }
    const SmiAnswer answer = smi_token_read(bios_setting_token(*row, model));
    *value = answer.value();
    return answer.ok() ? 0 : -2;
}
