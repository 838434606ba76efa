#include "services/bios/bios_access.h"

#include <cstring>
#include <glib.h>

#include "common/log.h"
#include "services/bios/bios_models.h"
#include "services/bios/smi_transport.h"

int secure_boot_init_marker;
int bios_change_reboot_flag;

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

struct NamedToken {
    const char *name;
    uint32_t token;
    const char *model;     // nullptr: the same token on every model
    uint32_t model_token;  // the token on `model`
};

// Tried in order, names compared ignoring letter case. Token 0 means the setting does not
// exist on the model; the read still goes out and the BIOS answers for token 0.
constexpr NamedToken named_tokens[] = {
    {"acrecovery", 0xA3, nullptr, 0},
    {"wakeonusb", 0x147, nullptr, 0},
    {"wakeonlan", 0x216, nullptr, 0},
    {"audio", 0x22, nullptr, 0},
    {"adminlock", 0x2BD, nullptr, 0},
    {"usbrearport", 0x41A, "K20", 0x1D5},
    {"usbfrontport", 0x14F, nullptr, 0},
    {"usbbootsupport", 0x109, nullptr, 0},
    {"osdconfigure", 0x373, nullptr, 0},
    {"usbfronttopport", 0x3E3, "Vantor 70", 0x3E5},
    {"usbfronttopmeport", 0x3E5, nullptr, 0},
    {"usbfrontbottommeport", 0x3E7, nullptr, 0},
    {"usbfrontbottomport", 0x3E9, "Vantor 70", 0x3E3},
    {"usbsideporttop", 0x1B6, nullptr, 0},
    {"usbsidebottom", 0x1B8, nullptr, 0},
    {"usbrearporttopleft", 0x1A2, nullptr, 0},
    {"usbrearporttopright", 0x1A4, nullptr, 0},
    {"usbrearbottomleft", 0x1A6, nullptr, 0},
    {"usbrearportbottomright", 0x1A8, nullptr, 0},
    {"secureboot", 0x34F, nullptr, 0},
    {"USBSidePort", 0x41C, nullptr, 0},
    {"pxebootsupport", 0x2D, nullptr, 0},
    {"supressdockwarnmsg", 0, "Vantor 70", 0x3A9},
};

int text_length(const char *text)
{
    const size_t len = text ? strlen(text) : 0;
    return len > G_MAXINT ? G_MAXINT : static_cast<int>(len);
}

}  // namespace

int bios_check_password_properties(const char *password, int length, uint8_t *not_installed, uint8_t *max_len)
{
    const SmiAnswer answer = smi_request(smi_class::password, smi_select::password_properties);
    if (!answer.exchanged) {
        wlog('D', log_tag::bios, "get passwd,send smi err\n");
        return -1;
    }
    if (answer.status() != 0) {
        wlog('D', log_tag::bios, "SMBIOS: get admin password properties error %d\n", static_cast<int>(answer.status()));
        return -1;
    }
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
    if ((word & prop_ascii_only) && length >= 1) {
        for (int i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(password[i]) & 0x80) {
                wlog('D', log_tag::bios, "the %d input password is no ascii \n", i);
                return -1;
            }
        }
    }
    if ((word & prop_alnum_only) && length >= 1) {
        for (int i = 0; i < length; ++i) {
            if (!g_ascii_isalnum(password[i])) {
                wlog('D', log_tag::bios, "the %d input password is no alphanumeric\n", i);
                return -1;
            }
        }
    }
    return 0;
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
    if (!answer.exchanged) {
        wlog('D', log_tag::bios, "send smi, get security err\n");
        return -1;
    }
    if (answer.status() != 0) {
        wlog('D', log_tag::bios, "SMBIOS: verify admin password error %d\n", static_cast<int>(answer.status()));
        return -2;
    }
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

int bios_set_secure_boot(int enable, uint32_t security_key)
{
    wlog('D', log_tag::bios, "start to set secure boot, set val is %x\n", static_cast<unsigned>(enable));
    uint32_t current = 0;
    bios_read_token_by_name("secureboot", &current);
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
    if (enable)
        bios_change_reboot_flag = secure_boot_init_marker == secure_boot_init_mark ? bios_reboot_needed : 0;
    else
        bios_change_reboot_flag = 0;
    wlog('D', log_tag::bios, "secure boot set ok\n");
    return 0;
}

int bios_read_token_by_name(const char *name, uint32_t *value)
{
    for (const auto &row : named_tokens) {
        if (g_ascii_strcasecmp(name, row.name) != 0)
            continue;
        const uint32_t token = row.model && bios_model_is(row.model) ? row.model_token : row.token;
        const SmiAnswer answer = smi_token_read(token);
        *value = answer.value();
        return answer.ok() ? 0 : -2;
    }
    wlog('D', log_tag::bios, "not check valid input parameter\n");
    wlog('D', log_tag::bios, "the input parameter error\n");
    return -1;
}
