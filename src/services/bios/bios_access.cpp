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
constexpr uint32_t PROP_NOT_INSTALLED = 1u << 0;
constexpr uint32_t PROP_ASCII_ONLY = 1u << 24;
constexpr uint32_t PROP_ALNUM_ONLY = 1u << 25;
constexpr uint8_t prop_max_len(uint32_t word) { return static_cast<uint8_t>(word >> 8); }
constexpr uint8_t prop_min_len(uint32_t word) { return static_cast<uint8_t>(word >> 16); }

constexpr int PASSWORD_TEXT_MAX = BIOS_PASSWORD_SIZE - 1;

constexpr uint32_t TOKEN_SECURE_BOOT_ON = 0x34F;
constexpr uint32_t TOKEN_SECURE_BOOT_OFF = 0x350;

struct NamedToken {
    const char *name;
    uint32_t token;
    const char *model;      // nullptr: the same token on every model
    uint32_t model_token;   // the token on `model`
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

int status_for_log()
{
    return static_cast<int>(smi_request.output[0]);
}

int text_length(const char *text)
{
    const size_t len = text ? strlen(text) : 0;
    return len > G_MAXINT ? G_MAXINT : static_cast<int>(len);
}

}  // namespace

int bios_check_password_properties(const char *password, int length, uint8_t *not_installed, uint8_t *max_len)
{
    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_PASSWORD;
    smi_request.cmd_select = SMI_SELECT_PASSWORD_PROPERTIES;
    if (smi_send_request() != 0) {
        wlog('D', log_tag::bios, "get passwd,send smi err\n");
        return -1;
    }
    if (smi_request.output[0] != 0) {
        wlog('D', log_tag::bios, "SMBIOS: get admin password properties error %d\n", status_for_log());
        return -1;
    }
    const uint32_t word = smi_request.output[1];
    if (word & PROP_NOT_INSTALLED) {
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
    const int usable = maximum < PASSWORD_TEXT_MAX ? maximum : PASSWORD_TEXT_MAX;
    if (length > usable) {
        wlog('D', log_tag::bios, "set password too long, the max len is %d\n", usable);
        return -1;
    }
    if (length >= 1 && length < minimum) {
        wlog('D', log_tag::bios, "set password too short, the min len is %d\n", minimum);
        return -1;
    }
    if ((word & PROP_ASCII_ONLY) && length >= 1) {
        for (int i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(password[i]) & 0x80) {
                wlog('D', log_tag::bios, "the %d input password is no ascii \n", i);
                return -1;
            }
        }
    }
    if ((word & PROP_ALNUM_ONLY) && length >= 1) {
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
    bios_password_max_len = 0;
    if (bios_check_password_properties(password, text_length(password), &not_installed, &max_len) != 0) {
        wlog('D', log_tag::bios, "SMBIOS: get password : check error\n");
        return -1;
    }
    bios_password_max_len = max_len;
    if (not_installed) {
        wlog('D', log_tag::bios, "SMBIOS: password not installed\n");
        return 0;
    }
    smi_request_clear();
    smi_passwords_clear();
    smi_password_copy(bios_password_current, password);
    smi_request.cmd_class = SMI_CLASS_PASSWORD;
    smi_request.cmd_select = SMI_SELECT_PASSWORD_VERIFY;
    const int sent = smi_send_request();
    // The password has done its job once sent; it does not stay in memory on any path.
    smi_passwords_clear();
    if (sent != 0) {
        wlog('D', log_tag::bios, "send smi, get security err\n");
        return -1;
    }
    if (smi_request.output[0] != 0) {
        wlog('D', log_tag::bios, "SMBIOS: verify admin password error %d\n", status_for_log());
        return -2;
    }
    *security_key = smi_request.output[1];
    return 0;
}

int bios_change_admin_password(const char *password, const char *new_password, int mode)
{
    const bool remove = mode == BIOS_PASSWORD_REMOVE;
    const int new_length = remove ? 0 : text_length(new_password);
    uint8_t not_installed = 0;
    uint8_t max_len = 0;
    bios_password_max_len = 0;
    const int checked = bios_check_password_properties(new_password, new_length, &not_installed, &max_len);
    if (checked != 0) {
        wlog('D', log_tag::bios, "SMBIOS: check new admin password error %d\n", checked);
        return -1;
    }
    bios_password_max_len = max_len;
    smi_request_clear();
    smi_passwords_clear();
    smi_request.cmd_class = SMI_CLASS_PASSWORD;
    smi_request.cmd_select = SMI_SELECT_PASSWORD_CHANGE;
    if (!not_installed) {
        if (text_length(password) > max_len || text_length(password) > PASSWORD_TEXT_MAX) {
            wlog('D', log_tag::bios, "SMBIOS: input old password error\n");
            return -1;
        }
        smi_password_copy(bios_password_current, password);
    }
    if (!remove)
        smi_password_copy(bios_password_new, new_password);
    const int sent = smi_send_request();
    smi_passwords_clear();
    if (sent != 0 || smi_request.output[0] != 0) {
        wlog('D', log_tag::bios, "SMBIOS: set admin password error %d\n", status_for_log());
        return -1;
    }
    wlog('D', log_tag::bios, "SMBIOS: change password Ok \n");
    return 0;
}

int bios_set_secure_boot(int enable, uint32_t security_key)
{
    wlog('D', log_tag::bios, "start to set secure boot, set val is %x\n", static_cast<unsigned>(enable));
    bios_read_token_by_name("secureboot");
    if (smi_request.output[1] == 1) {
        wlog('D', log_tag::bios, "secure value is enable,can not be changed");
        return 0;
    }
    const bool written = enable ? smi_token_write(TOKEN_SECURE_BOOT_ON, 1, security_key)
                                : smi_token_write(TOKEN_SECURE_BOOT_OFF, 0, security_key);
    if (!written) {
        wlog('D', log_tag::bios, "SMBIOS: set Secure Boot error %d\n", status_for_log());
        return -1;
    }
    if (enable)
        bios_change_reboot_flag = secure_boot_init_marker == SECURE_BOOT_INIT_MARK ? BIOS_REBOOT_NEEDED : 0;
    else
        bios_change_reboot_flag = 0;
    wlog('D', log_tag::bios, "secure boot set ok\n");
    return 0;
}

int bios_read_token_by_name(const char *name)
{
    for (const auto &row : named_tokens) {
        if (g_ascii_strcasecmp(name, row.name) != 0)
            continue;
        const uint32_t token = row.model && bios_model_is(row.model) ? row.model_token : row.token;
        return smi_token_read(token) ? 0 : -2;
    }
    wlog('D', log_tag::bios, "not check valid input parameter\n");
    wlog('D', log_tag::bios, "the input parameter error\n");
    return -1;
}
