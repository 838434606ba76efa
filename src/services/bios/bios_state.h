// What the BIOS service keeps between calls. The service owns one instance; the handlers and
// the start-up hand it to the code below them.
#pragma once

// The auto-on schedule every Daily, Workday or Days write uses in full. A SetBios call that
// carries days or a time updates it; it is all 0 at start.
struct AutoOnSchedule {
    int days = 0;  // bit 0 Sunday .. bit 6 Saturday
    int hour = 0;
    int minute = 0;
};

struct BiosState {
    AutoOnSchedule schedule;
};

// The service's instance.
BiosState &bios_service_state();
