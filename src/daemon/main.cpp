// corvo-settingsd: takes its lock, re-applies stored settings, owns the four bus names and
// serves them from one main loop until SIGTERM.
#include <cstdio>
#include <cstring>
#include <gio/gio.h>
#include <glib-unix.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "common/log.h"
#include "common/util.h"
#include "corvo-config.h"
#include "daemon/service_notify.h"
#include "host/host_root.h"
#include "services/services.h"
#include "services/settings/admin_policy_restore.h"
#include "services/thirdapps/app_status.h"

namespace {

constexpr int exit_no_argument = 161;
constexpr int exit_already_running = 162;
constexpr int exit_stopped = 160;

constexpr char usage[] = "Usage: corvo-settingsd LOCKFILE\n"
                         "       corvo-settingsd --help | --version\n"
                         "Serves com.corvo.settings, com.corvo.bios, com.corvo.headset and com.corvo.thirdapps\n"
                         "on the system bus until SIGTERM. LOCKFILE keeps a second instance from starting.\n";

// An option in place of the lock path is answered at once: no lock, no bus, no file.
int answer_option(const char *option)
{
    if (strcmp(option, "--help") == 0) {
        fputs(usage, stdout);
        return 0;
    }
    if (strcmp(option, "--version") == 0) {
        puts("corvo-settingsd " CORVO_VERSION);
        return 0;
    }
    fputs(usage, stderr);
    return exit_no_argument;
}

gboolean on_sigterm(gpointer loop)
{
    service_notify_stopping();
    g_main_loop_quit(static_cast<GMainLoop *>(loop));
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && argv[1][0] == '-')
        return answer_option(argv[1]);
    // Passwords pass through this process's memory: no core file and no debugger of a
    // lesser user may ever see it.
    (void)prctl(PR_SET_DUMPABLE, 0);
    // Before the first bus call starts GDBus's thread: it takes variables out of the environment.
    service_notify_init();
    (void)setsid();
    // Diagnostics on stdout must reach a pipe line by line, not at exit.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    if (argc < 2 || argv[1][0] == '\0')
        return exit_no_argument;

    const int lock_fd = util_lock_instance(argv[1]);
    if (lock_fd == -1) {
        print_diagnostic("Quit: already exists a previous instance of vpn.\n");
        wlog('D', log_tag::settings, "Quit: already exists a previous instance\n");
        return exit_already_running;
    }
    if (lock_fd < 0) {
        print_diagnostic("Error: failed to open lockfile %d.\n", lock_fd);
        wlog('D', log_tag::settings, "Error: failed to open lockfile\n");
        return exit_stopped;
    }
    host_log_root();

    admin_policy_restore();
    init_app_status();

    if (services_request(service_notify_ready)) {
        g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
        g_unix_signal_add(SIGTERM, on_sigterm, loop);
        service_watchdog_start();
        g_main_loop_run(loop);
    }
    services_release();
    close(lock_fd);
    return exit_stopped;
}
