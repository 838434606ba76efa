#include "services/settings/admin_policy_restore.h"

int admin_policy_restore()
{
    // Filled in with the settings writers.
    return 0;
}
