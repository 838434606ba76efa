// The daemon's one error domain. Code below the handlers reports a failure as false plus a
// GError in CORVO_ERROR (or in the GLib domain of the call that failed, G_FILE_ERROR for a
// file); the handler turns the outcome into its reply text. The code tells the kinds of
// failure apart where a caller acts on the difference. An error from a system call also
// carries the call's error number, for the replies that report it as a number.
#pragma once

#include <glib.h>

#define CORVO_ERROR (corvo_error_quark())
GQuark corvo_error_quark();

enum CorvoError {
    CORVO_ERROR_FAILED,   // the step was tried and did not take effect
    CORVO_ERROR_INVALID,  // a name or value the target cannot hold: nothing was changed
    // Why a peer service (the configuration store, the device service) did not do a call.
    CORVO_ERROR_UNREACHABLE,  // no connection to the peer, or the call itself failed
    CORVO_ERROR_REFUSED,      // the peer answered with a refusal or with something else than success;
                              // also a caller's file that fails the rules it must meet (host/file_io)
    // Why a program the daemon ran (host_run) did not succeed.
    CORVO_ERROR_NOT_STARTED,  // the program could not be started
    CORVO_ERROR_TIMED_OUT,    // it ran over the time limit and its process group was killed
    CORVO_ERROR_EXITED,       // it ran and ended with a non-zero status or by a signal
    // Which step of an exchange through a device file failed; the message is the system's
    // text for the errno of that step.
    CORVO_ERROR_OPEN_FAILED,
    CORVO_ERROR_WRITE_FAILED,  // also when the record was not written whole
    CORVO_ERROR_READ_FAILED,
};

// Sets `error` to `code` in CORVO_ERROR, carrying `errno_value` with the system's text for it.
void corvo_set_system_error(GError **error, CorvoError code, int errno_value);

// The error number a CORVO_ERROR carries; 0 for an error that came from no system call.
int corvo_error_errno(const GError *error);
