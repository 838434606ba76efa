#include "services/bios/bios_startup.h"

#include "common/log.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_state.h"
#include "services/bios/update_bios.h"

namespace {

// The secure boot state goes to the log at every start, fresh install or not.
void log_secure_boot_state(const char *model)
{
    uint32_t secure_boot = 0;
    bios_read_token_by_name(model, "secureboot", &secure_boot);
    if (secure_boot == 1)
        wlog_res('N', log_tag::system, "$(bios_secureboot_en)");
    else
        wlog_res('N', log_tag::system, "$(bios_secureboot_dis)");
}

}  // namespace

bool bios_prepare()
{
    BiosState &state = bios_service_state();
    state = {};
    if (!bios_prepare_mount_point())
        return false;
    bios_detect_model(state.model);
    bios_fresh_install_setup(state);
    log_secure_boot_state(state.model);
    return true;
}

BiosState &bios_service_state()
{
    static BiosState state;
    return state;
}
