// Notices to a service manager (readiness, stopping, watchdog pings) as datagrams on the
// socket NOTIFY_SOCKET names. Without NOTIFY_SOCKET every call here does nothing.
#pragma once

#include <glib.h>

// Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID once, before any other thread runs,
// and takes them out of the environment: programs the daemon starts must not report in
// its name.
void service_notify_init();

// "READY=1" with "MAINPID=<pid>": every name is owned and its object exported.
void service_notify_ready();

// "STOPPING=1": the daemon has begun to stop.
void service_notify_stopping();

// When the manager asked for watchdog pings (WATCHDOG_USEC, and WATCHDOG_PID unset or this
// process), a source on the default main context sends "WATCHDOG=1" at half the interval:
// a handler stuck on the main loop stops the pings.
void service_watchdog_start();
