// corvo-settingsd: takes its lock, re-applies stored settings, owns the four bus names and
// serves them from one main loop until SIGTERM or SIGINT.
#include <cstdio>
#include <cstring>
#include <gio/gio.h>
#include <glib-unix.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

#include "common/log.h"
#include "corvo-config.h"
#include "daemon/service_notify.h"
#include "host/host_root.h"
#include "host/instance_lock.h"
#include "services/services.h"

namespace {

constexpr int exit_no_argument = 161;
constexpr int exit_already_running = 162;
constexpr int exit_stopped = 160;

constexpr char usage[] = "Usage: corvo-settingsd LOCKFILE\n"
                         "       corvo-settingsd --help | --version\n"
                         "Serves com.corvo.settings, com.corvo.bios, com.corvo.headset and com.corvo.thirdapps\n"
                         "on the system bus until SIGTERM or SIGINT. LOCKFILE keeps a second instance from starting.\n";

constexpr int go_on = -1;

enum class Answer { none, help, version };

// --help and --version take no value, joined with '=' or as the next word (GLib alone would
// take "--help=1" as --help).
gboolean take_answer(const char *option, const char *value, gpointer answer, GError **error)
{
    if (value) {
        g_set_error(error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE, "%s takes no value", option);
        return FALSE;
    }
    auto *given = static_cast<Answer *>(answer);
    if (*given == Answer::none)
        *given = strcmp(option, "--help") == 0 ? Answer::help : Answer::version;
    return TRUE;
}

// The lock path in *lock_path (empty when none was given) and go_on; or the exit status of a
// command line answered at once: an option, or a mistake, needs no lock, no bus and no file.
int read_command_line(int argc, char **argv, std::string *lock_path)
{
    Answer answer = Answer::none;
    g_auto(GStrv) operands = nullptr;
    const auto no_value = static_cast<int>(G_OPTION_FLAG_OPTIONAL_ARG);
    const GOptionEntry entries[] = {
        {"help", 0, no_value, G_OPTION_ARG_CALLBACK, reinterpret_cast<gpointer>(take_answer), nullptr, nullptr},
        {"version", 0, no_value, G_OPTION_ARG_CALLBACK, reinterpret_cast<gpointer>(take_answer), nullptr, nullptr},
        {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &operands, nullptr, nullptr},
        {},
    };
    GOptionGroup *group = g_option_group_new("corvo-settingsd", "", "", &answer, nullptr);
    g_option_group_add_entries(group, entries);
    g_autoptr(GOptionContext) context = g_option_context_new(nullptr);
    g_option_context_set_help_enabled(context, FALSE);
    g_option_context_set_strict_posix(context, TRUE);
    g_option_context_set_main_group(context, group);

    const bool anything_given = argc > 1;
    if (!g_option_context_parse(context, &argc, &argv, nullptr)) {
        fputs(usage, stderr);
        return exit_no_argument;
    }
    if (answer == Answer::help) {
        fputs(usage, stdout);
        return 0;
    }
    if (answer == Answer::version) {
        puts("corvo-settingsd " CORVO_VERSION);
        return 0;
    }
    // "--" with nothing after it, or a lock path that reads as an option ("-", or after "--"),
    // is a mistake in the command line; only a missing or empty argument exits silently.
    const char *first = operands ? operands[0] : nullptr;
    if ((anything_given && !first) || (first && first[0] == '-')) {
        fputs(usage, stderr);
        return exit_no_argument;
    }
    *lock_path = first ? first : "";
    return go_on;
}

// SIGTERM and SIGINT stop the daemon in order. The source stays: a second signal while the
// names are released must not end the process half-way.
template <int signal_number>
gboolean on_stop_signal(gpointer loop)
{
    wlog('V', log_tag::settings, "stopping on %s\n", signal_number == SIGINT ? "SIGINT" : "SIGTERM");
    service_notify_stopping();
    g_main_loop_quit(static_cast<GMainLoop *>(loop));
    return G_SOURCE_CONTINUE;
}

// A hang-up would end the daemon silently; there is no configuration to read again.
gboolean on_sighup(gpointer)
{
    wlog('V', log_tag::settings, "SIGHUP ignored: nothing to reload\n");
    return G_SOURCE_CONTINUE;
}

// The number the start-up diagnostic has always printed for a lock file it could not take.
int lockfile_failure_code(const GError *error)
{
    if (g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_ACCES))
        return -2;
    return error->domain == G_FILE_ERROR ? -4 : -5;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string lock_path;
    if (const int answered = read_command_line(argc, argv, &lock_path); answered != go_on)
        return answered;
    // Passwords pass through this process's memory: no core file and no debugger of a
    // lesser user may ever see it.
    (void)prctl(PR_SET_DUMPABLE, 0);
    // Before the first bus call starts GDBus's thread: it takes variables out of the environment.
    service_notify_init();
    (void)setsid();
    // Diagnostics on stdout must reach a pipe line by line, not at exit.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    if (lock_path.empty())
        return exit_no_argument;

    // The signals are taken from here on; one that arrives during start-up acts once the loop runs.
    g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGTERM, on_stop_signal<SIGTERM>, loop);
    g_unix_signal_add(SIGINT, on_stop_signal<SIGINT>, loop);
    g_unix_signal_add(SIGHUP, on_sighup, nullptr);

    g_autoptr(GError) lock_error = nullptr;
    const int lock_fd = host_lock_instance(lock_path.c_str(), &lock_error);
    if (g_error_matches(lock_error, G_FILE_ERROR, G_FILE_ERROR_AGAIN)) {
        print_diagnostic("Quit: already exists a previous instance of vpn.\n");
        wlog('D', log_tag::settings, "Quit: already exists a previous instance\n");
        return exit_already_running;
    }
    if (lock_fd < 0) {
        const int code = lockfile_failure_code(lock_error);
        print_diagnostic("Error: failed to open lockfile %d.\n", code);
        wlog('E', log_tag::settings, "Error: failed to open lockfile %s: %d (%s)\n", lock_path.c_str(), code,
             lock_error->message);
        return exit_stopped;
    }
    wlog('V', log_tag::settings, "corvo-settingsd %s starting, pid %d, host root %s\n", CORVO_VERSION,
         static_cast<int>(getpid()), host_root().c_str());

    if (services_request(service_notify_ready)) {
        service_watchdog_start();
        g_main_loop_run(loop);
    } else {
        wlog('V', log_tag::settings, "stopping: not every service could start\n");
    }
    services_release();
    close(lock_fd);
    return exit_stopped;
}
