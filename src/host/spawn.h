// Running host programs. Never through a shell: a program gets an argument vector, so text
// from a caller stays one literal argument whatever characters it holds.
#pragma once

#include <glib.h>
#include <string>
#include <vector>

#include "common/error.h"

struct HostCommand {
    std::vector<std::string> argv;
    std::string text;  // the command as a shell would have shown it, for log lines
};

// Builds a command from a command text as it would be typed, e.g.
//     host_command("sysctl hw.usb.vusb_property_string=\"%s\"", flags)
// The template is split into words first, as a shell would split it (g_shell_parse_argv:
// blanks separate words, quoted parts belong to their word and lose their quotes); then each
// %s / %d / %u is replaced inside its word. A value therefore never splits, joins or quotes
// words.
HostCommand host_command(const char *tmpl, ...) G_GNUC_PRINTF(1, 2);

// Runs the program in a process group of its own and waits for it, at most the time limit
// (host_run_time_limit_seconds). Programs named without a '/' are looked up in PATH.
// When `first_line` is given it receives the first line of the program's standard output
// (at most `max_line` bytes, without the line end); otherwise the output is discarded. The
// program's standard error never reaches the daemon's own output: its first line is logged.
// The wait runs no main context of the daemon, so no other call is dispatched meanwhile.
// True when the program ran and exited with status 0; otherwise false with CORVO_ERROR_NOT_STARTED,
// CORVO_ERROR_TIMED_OUT or CORVO_ERROR_EXITED.
bool host_run(const HostCommand &command, std::string *first_line = nullptr, size_t max_line = 255,
              GError **error = nullptr);

// True when `error` (from host_run) still means the program ran to its end: no error, or a
// non-zero exit. For the callers that do not examine the exit status.
bool host_run_started(const GError *error);

// Seconds a program may run: 60, or fewer when CORVO_PROGRAM_TIMEOUT (read once) asks for
// fewer; the variable never lengthens the limit.
unsigned host_run_time_limit_seconds();

// Tests only: forget the cached limit so the next call reads the environment again.
void host_run_time_limit_reset_for_tests();

// Starts the program without waiting; it is reaped when it ends, so no zombie remains. Its
// output is discarded. Returns true when it could be started.
bool host_start_background(const HostCommand &command);
