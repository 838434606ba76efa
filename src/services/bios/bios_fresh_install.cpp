#include "services/bios/bios_fresh_install.h"

#include <cstdint>
#include <glib.h>

#include "common/log.h"
#include "host/net_iface.h"
#include "peers/sysconf.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_catalogue.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_primitives.h"
#include "services/bios/bios_writers.h"
#include "services/bios/smi_transport.h"

namespace {

constexpr const char *factory_password = "Lodestar";

constexpr uint32_t token_ahci_on = 0x138;
constexpr uint32_t token_wake_on_dock = 0x446;
constexpr uint32_t token_sfp_nic_on = 0x44A;

// Deep sleep is switched off at install on these models only; this set is narrower than the
// models whose deep-sleep setting is read.
constexpr const char *deep_sleep_off_model_list[] = {"Vantor 70", "K40AIO", "K10", "K30AIO", "K10X"};
// These wake from the dock instead of from USB.
constexpr const char *dock_wake_model_list[] = {"Lumen 81", "Lumen 82", "Lumen 83", "Lumen 84"};

// Switches the catalogue setting `name` off.
bool switch_off(BiosState &state, const char *name, uint32_t key)
{
    return bios_switch_setting(*bios_setting_named(name), state, false, key) == 0;
}

// Verifies the factory password, installing it first when the BIOS has none. False when the
// setup cannot go on (notice logged).
bool obtain_security_key(uint32_t *key)
{
    const int verified = bios_verify_admin_password(factory_password, key);
    if (verified == -1) {
        wlog_res('N', log_tag::system, "$(boot_password_err)");
        return false;
    }
    if (verified == -2) {
        wlog_res('N', log_tag::system, "$(password_not_change)");
        return false;
    }
    if (*key != 0)
        return true;
    if (bios_change_admin_password("", factory_password, 0) != 0) {
        wlog_res('N', log_tag::system, "$(set_password_fail)");
        return false;
    }
    if (bios_verify_admin_password(factory_password, key) == -1) {
        wlog_res('N', log_tag::system, "$(change_err)");
        return false;
    }
    return true;
}

void enable_secure_boot(BiosState &state, uint32_t key)
{
    uint32_t secure_boot = 0;
    const int read = bios_read_token_by_name(state.model, "secureboot", &secure_boot);
    if (read != 0)
        wlog_res('N', log_tag::bios, "$(init_err)");
    if (read == 0 && secure_boot == 1)
        return;
    state.secure_boot_by_install = true;
    if (bios_set_secure_boot(state, 1, key) != 0)
        wlog_res('N', log_tag::system, "$(secure_fail)");
}

// Any stored value but "false" (in any letter case) asks for the setup; none does not.
bool fresh_install_wanted(const char *freshinstall)
{
    return freshinstall && g_ascii_strcasecmp(freshinstall, "false") != 0;
}

}  // namespace

void bios_fresh_install_setup(BiosState &state)
{
    g_autofree char *freshinstall = sysconf_get_key("system", "sys", "freshinstall");
    if (!fresh_install_wanted(freshinstall))
        return;
    bios_fresh_install_apply(state);
}

void bios_fresh_install_apply(BiosState &state)
{
    state.reboot_needed = false;
    state.secure_boot_by_install = false;
    uint32_t key = 0;
    if (!obtain_security_key(&key))
        return;

    enable_secure_boot(state, key);
    if (!switch_off(state, "USBBootSupport", key))
        wlog_res('N', log_tag::system, "$(use_disable_fail)");
    if (!switch_off(state, "PXEBootSupport", key))
        wlog_res('N', log_tag::system, "$(pxe_disable_fail)");
    if (!smi_token_write_logged(token_ahci_on, 1, key, "SMBIOS: set ahci on error"))
        wlog_res('N', log_tag::system, "$(ahci_fail)");
    if (bios_model_in(state.model, models_in(deep_sleep_off_model_list)) && bios_set_deep_sleep(0, key) != 0)
        wlog_res('N', log_tag::system, "$(deepsleep_fail)");
    if (bios_model_in(state.model, models_in(dock_wake_model_list))) {
        if (!smi_token_write(token_wake_on_dock, 1, key).ok()) {
            wlog_res('N', log_tag::bios, "$(smbios_dock_error)");
            wlog_res('N', log_tag::system, "$(wake_dock_fail)");
        }
    } else if (bios_set_wake_on_usb(1, key) != 0) {
        wlog_res('N', log_tag::system, "$(wake_usb_fail)");
    }
    if (host_net_interface_exists("re1") && bios_model_is(state.model, "Vantor 70") &&
        !smi_token_write(token_sfp_nic_on, 1, key).ok()) {
        wlog_res('N', log_tag::bios, "$(smbios_nic_error)");
        wlog_res('N', log_tag::system, "$(sfp_fail)");
    }
}
