// What the BIOS service keeps between calls. The service owns one instance; the handlers and
// the start-up hand it to the code below them.
#pragma once

#include "services/bios/bios_models.h"

// The auto-on schedule every Daily, Workday or Days write uses in full. A SetBios call that
// carries days or a time updates it; it is all 0 at start.
struct AutoOnSchedule {
    int days = 0;  // bit 0 Sunday .. bit 6 Saturday
    int hour = 0;
    int minute = 0;
};

struct BiosState {
    char model[bios_model_name_size] = {};  // detected at start; empty when unknown
    bool secure_boot_by_install = false;    // a fresh install is switching secure boot on
    bool reboot_needed = false;             // it did: GetBios reports that a reboot is due
    AutoOnSchedule schedule;
};

// The service's instance; bios_prepare() gives it a fresh state at start.
BiosState &bios_service_state();
