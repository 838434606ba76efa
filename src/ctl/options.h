// The parsed command line of corvoctl and its exit statuses, shared by every verb.
#pragma once

#include <glib.h>

enum CtlExit {
    ctl_exit_success = 0,  // the reply reports success
    ctl_exit_failed = 1,   // the reply reports failure
    ctl_exit_usage = 2,    // bad command line; nothing was sent
    ctl_exit_bus = 3,      // the bus call itself failed or was refused
};

// Every option of every verb; GOption allocates the texts, the destructor frees them.
struct CtlOptions {
    gboolean json = FALSE;
    gboolean help = FALSE;
    gboolean dry_run = FALSE;
    gboolean no_ask_password = FALSE;
    gboolean version = FALSE;
    int timeout_s = 30;
    char *password_file = nullptr;
    char *new_password_file = nullptr;
    char *config_file = nullptr;
    char *read_only = nullptr;
    char *white_vidpid = nullptr;
    char *white_class = nullptr;
    char *black_vidpid = nullptr;
    char *black_class = nullptr;
    char **words = nullptr;  // what is not an option, in order

    CtlOptions() = default;
    CtlOptions(const CtlOptions &) = delete;
    CtlOptions &operator=(const CtlOptions &) = delete;
    ~CtlOptions()
    {
        for (char *text : {password_file, new_password_file, config_file, read_only, white_vidpid, white_class,
                           black_vidpid, black_class})
            g_free(text);
        g_strfreev(words);
    }

    int timeout_ms() const { return timeout_s * 1000; }
};
