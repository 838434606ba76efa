// peer-probe: calls the store and device clients as told on standard input, one command per
// line, and answers each with the client's own output followed by one "=> ..." line:
//
//   get SCHEMA MODULE KEY            => none | => text VALUE
//   set SCHEMA MODULE KEY VALUE [T]  => CODE   (T defaults to 64)
//   ext CMD PARAM1 PARAM2            => CODE
//   remount 0|1                      => CODE   (1: read-only)
//   connect                          => CODE
//   reset                            => done   (drops both proxies)
//   proxies                          => config=0|1 udev=0|1 (which proxies are held)
//   quit                             (or end of input)
//
// Arguments are split like a shell does (quotes, "" for an empty text); "~" stands for an
// absent argument, and %XX for the byte XX (so "%ff" is invalid UTF-8 and "%25" is "%").
// VALUE in "=> text" is written the same way. Log lines come out on standard output as
// "log: LINE", in order with the rest.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <string>
#include <vector>

#include "common/log.h"
#include "peers/sysconf.h"

namespace {

GMainLoop *loop = nullptr;

void log_to_stdout(const char *line, void *)
{
    printf("log: %s\n", line);
}

struct Args {
    std::vector<char *> values;  // NULL for "~"
    bool ok = true;

    explicit Args(char **words)
    {
        for (char **word = words; *word; ++word) {
            if (strcmp(*word, "~") == 0) {
                values.push_back(nullptr);
                continue;
            }
            char *value = g_uri_unescape_string(*word, nullptr);
            if (!value)
                ok = false;
            values.push_back(value);
        }
    }
    ~Args()
    {
        for (char *value : values)
            g_free(value);
    }
    Args(const Args &) = delete;
    Args &operator=(const Args &) = delete;

    size_t size() const { return values.size(); }
    const char *operator[](size_t i) const { return values[i]; }
};

// One command; false when the probe should end.
bool run_command(const char *line)
{
    char **words = nullptr;
    int count = 0;
    if (!g_shell_parse_argv(line, &count, &words, nullptr)) {
        printf("=> empty\n");
        return true;
    }
    const std::string command = words[0];
    Args args(words + 1);
    g_strfreev(words);
    if (!args.ok) {
        printf("=> bad-argument\n");
        return true;
    }

    if (command == "get" && args.size() == 3) {
        char *value = sysconf_get_key(args[0], args[1], args[2]);
        if (value) {
            char *escaped = g_uri_escape_string(value, nullptr, FALSE);
            printf("=> text %s\n", escaped);
            g_free(escaped);
        } else {
            printf("=> none\n");
        }
        g_free(value);
    } else if (command == "set" && (args.size() == 4 || args.size() == 5)) {
        const int type = args.size() == 5 && args[4] ? atoi(args[4]) : sysconf_type::string;
        printf("=> %d\n", sysconf_set_key(args[0], args[1], args[2], args[3], type));
    } else if (command == "ext" && args.size() == 3) {
        printf("=> %d\n", sysconf_ext_cmd(args[0], args[1], args[2]));
    } else if (command == "remount" && args.size() == 1 && args[0]) {
        printf("=> %d\n", udev_remount_usbdisks(strcmp(args[0], "1") == 0));
    } else if (command == "connect" && args.size() == 0) {
        printf("=> %d\n", sysconf_connect());
    } else if (command == "reset" && args.size() == 0) {
        peers_reset_for_tests();
        printf("=> done\n");
    } else if (command == "proxies" && args.size() == 0) {
        bool config = false;
        bool udev = false;
        peers_proxies_for_tests(&config, &udev);
        printf("=> config=%d udev=%d\n", config, udev);
    } else if (command == "quit") {
        return false;
    } else {
        printf("=> unknown-command\n");
    }
    return true;
}

// Commands are run from the main loop, as the daemon's handlers are.
gboolean on_input(GIOChannel *channel, GIOCondition, gpointer)
{
    char *line = nullptr;
    gsize terminator = 0;
    const GIOStatus status = g_io_channel_read_line(channel, &line, nullptr, &terminator, nullptr);
    if (status == G_IO_STATUS_AGAIN)
        return G_SOURCE_CONTINUE;
    bool go_on = status == G_IO_STATUS_NORMAL;
    if (go_on) {
        line[terminator] = '\0';
        go_on = run_command(line);
    }
    g_free(line);
    if (!go_on)
        g_main_loop_quit(loop);
    return go_on ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

}  // namespace

int main()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    log_set_sink(log_to_stdout, nullptr);
    loop = g_main_loop_new(nullptr, FALSE);
    GIOChannel *input = g_io_channel_unix_new(0);
    g_io_channel_set_encoding(input, nullptr, nullptr);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), on_input, nullptr);
    g_main_loop_run(loop);
    g_io_channel_unref(input);
    g_main_loop_unref(loop);
    peers_reset_for_tests();
    return 0;
}
