#include "services/bios/bios_startup.h"

#include "common/log.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_state.h"
#include "services/bios/smi_transport.h"
#include "services/bios/update_bios.h"

namespace {

// The secure boot state goes to the log at every start, fresh install or not.
void log_secure_boot_state()
{
    uint32_t secure_boot = 0;
    bios_read_token_by_name("secureboot", &secure_boot);
    if (secure_boot == 1)
        wlog_res('N', log_tag::system, "$(bios_secureboot_en)");
    else
        wlog_res('N', log_tag::system, "$(bios_secureboot_dis)");
}

}  // namespace

bool bios_prepare()
{
    smi_buffers_init();
    secure_boot_init_marker = 0;
    bios_change_reboot_flag = 0;
    if (!bios_prepare_mount_point())
        return false;
    bios_detect_model();
    bios_fresh_install_setup();
    log_secure_boot_state();
    return true;
}

BiosState &bios_service_state()
{
    static BiosState state;
    return state;
}
