#include "host/spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <glib-unix.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/log.h"
#include "host/fd.h"

namespace {

// Replaces the conversions of one word with the next arguments.
std::string substitute(std::string_view word, va_list *args)
{
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%' || i + 1 == word.size()) {
            out += word[i];
            continue;
        }
        const char conversion = word[++i];
        switch (conversion) {
        case 's': {
            const char *value = va_arg(*args, const char *);
            out += value ? value : "(null)";
            break;
        }
        case 'd': out += std::to_string(va_arg(*args, int)); break;
        case 'u': out += std::to_string(va_arg(*args, unsigned)); break;
        case '%': out += '%'; break;
        default: out += '%'; out += conversion;
        }
    }
    return out;
}

constexpr unsigned default_time_limit = 60;
// Output a program may write before its pipe is closed on it: enough for any program the
// daemon runs, and a bound for one that writes without end.
constexpr size_t output_cap = 64 * 1024;
constexpr size_t error_line_max = 255;

unsigned cached_time_limit = 0;

// One output pipe of a running program: the first line is kept, the rest is read and dropped.
struct OutputPipe {
    int fd = -1;
    size_t keep = 0;  // bytes of the first line kept
    std::string first_line;
    bool line_done = false;
    size_t total = 0;
    GSource *source = nullptr;

    void close_pipe()
    {
        if (source) {
            g_source_destroy(source);
            g_source_unref(source);
            source = nullptr;
        }
        if (fd >= 0)
            close(fd);
        fd = -1;
    }

    // Reads what is there; false once the pipe is at its end or has given all it may.
    bool drain()
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = retry_eintr([&] { return read(fd, chunk, sizeof chunk); });
            if (n < 0 && errno == EAGAIN)
                return true;
            if (n <= 0)
                return false;
            for (ssize_t i = 0; i < n && !line_done; ++i) {
                if (chunk[i] == '\n' || first_line.size() >= keep)
                    line_done = true;
                else
                    first_line += chunk[i];
            }
            total += static_cast<size_t>(n);
            if (total >= output_cap)
                return false;
        }
    }
};

struct Run {
    const HostCommand *command;
    GPid pid = 0;
    bool exited = false;
    int wait_status = 0;
    bool timed_out = false;
};

gboolean on_output(gint, GIOCondition, gpointer data)
{
    auto *pipe = static_cast<OutputPipe *>(data);
    if (pipe->drain())
        return G_SOURCE_CONTINUE;
    // At its end, or enough read: what the program writes from now on is its own affair.
    pipe->close_pipe();
    return G_SOURCE_REMOVE;
}

void on_program_exit(GPid, gint status, gpointer data)
{
    auto *run = static_cast<Run *>(data);
    run->exited = true;
    run->wait_status = status;
}

gboolean on_time_limit(gpointer data)
{
    auto *run = static_cast<Run *>(data);
    run->timed_out = true;
    // The whole group: a script's own children end with it.
    kill(-run->pid, SIGKILL);
    wlog('D', log_tag::settings, "%s: killed after %u s, the time limit\n", run->command->argv[0].c_str(),
         host_run_time_limit_seconds());
    return G_SOURCE_REMOVE;
}

void watch_output(OutputPipe *pipe, GMainContext *context)
{
    if (pipe->fd < 0)
        return;
    g_unix_set_fd_nonblocking(pipe->fd, TRUE, nullptr);
    pipe->source = g_unix_fd_source_new(pipe->fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(pipe->source, G_SOURCE_FUNC(on_output), pipe, nullptr);
    g_source_attach(pipe->source, context);
}

void start_own_group(gpointer)
{
    setpgid(0, 0);
}

bool spawn(const HostCommand &command, GSpawnFlags flags, GPid *pid, int *stdout_fd, int *stderr_fd, GError **error)
{
    if (command.argv.empty()) {
        g_set_error_literal(error, CORVO_ERROR, CORVO_ERROR_NOT_STARTED, "no program");
        return false;
    }
    std::vector<char *> argv;
    for (const auto &arg : command.argv)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    g_autoptr(GError) spawn_error = nullptr;
    const auto all_flags =
        static_cast<GSpawnFlags>(flags | G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CLOEXEC_PIPES);
    const bool started = g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, all_flags, start_own_group, nullptr,
                                                  pid, nullptr, stdout_fd, stderr_fd, &spawn_error);
    if (!started) {
        wlog('D', log_tag::settings, "could not start %s: %s\n", command.argv[0].c_str(), spawn_error->message);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_NOT_STARTED, "could not start %s",
                    command.argv[0].c_str());
    }
    return started;
}

void on_background_exit(GPid pid, int, gpointer)
{
    g_spawn_close_pid(pid);
}

}  // namespace

HostCommand host_command(const char *tmpl, ...)
{
    HostCommand command;
    va_list args;
    // The display text and the words are built from the same arguments.
    va_start(args, tmpl);
    g_autofree char *text = g_strdup_vprintf(tmpl, args);
    va_end(args);
    command.text = text;

    // The template is a constant of the daemon: it is split into words as a shell would, and
    // only then are the values put into their words.
    g_auto(GStrv) words = nullptr;
    if (!g_shell_parse_argv(tmpl, nullptr, &words, nullptr))
        return command;
    va_start(args, tmpl);
    for (char **word = words; *word; ++word)
        command.argv.push_back(substitute(*word, &args));
    va_end(args);
    return command;
}

unsigned host_run_time_limit_seconds()
{
    if (cached_time_limit == 0) {
        cached_time_limit = default_time_limit;
        const char *asked = secure_getenv("CORVO_PROGRAM_TIMEOUT");
        guint64 seconds = 0;
        if (asked && g_ascii_string_to_unsigned(asked, 10, 1, default_time_limit, &seconds, nullptr))
            cached_time_limit = static_cast<unsigned>(seconds);
    }
    return cached_time_limit;
}

void host_run_time_limit_reset_for_tests()
{
    cached_time_limit = 0;
}

bool host_run_started(const GError *error)
{
    return !error || g_error_matches(error, CORVO_ERROR, CORVO_ERROR_EXITED);
}

bool host_run(const HostCommand &command, std::string *first_line, size_t max_line, GError **error)
{
    OutputPipe out, err;
    out.keep = max_line;
    err.keep = error_line_max;
    Run run;
    run.command = &command;
    const auto flags = first_line ? G_SPAWN_DEFAULT : G_SPAWN_STDOUT_TO_DEV_NULL;
    if (!spawn(command, flags, &run.pid, first_line ? &out.fd : nullptr, &err.fd, error))
        return false;

    // A context of the wait's own: the daemon's main context is not run meanwhile, so no
    // other call is dispatched into the middle of this one.
    g_autoptr(GMainContext) context = g_main_context_new();
    watch_output(&out, context);
    watch_output(&err, context);
    g_autoptr(GSource) exit_watch = g_child_watch_source_new(run.pid);
    g_source_set_callback(exit_watch, G_SOURCE_FUNC(on_program_exit), &run, nullptr);
    g_source_attach(exit_watch, context);
    g_autoptr(GSource) time_limit = g_timeout_source_new_seconds(host_run_time_limit_seconds());
    g_source_set_callback(time_limit, on_time_limit, &run, nullptr);
    g_source_attach(time_limit, context);
    while (!run.exited)
        g_main_context_iteration(context, TRUE);
    g_source_destroy(time_limit);
    g_spawn_close_pid(run.pid);

    // What the program wrote before it ended; a child it left behind may hold the pipe
    // open, so nothing waits for the pipe's end.
    for (OutputPipe *pipe : {&out, &err}) {
        if (pipe->fd >= 0)
            pipe->drain();
        pipe->close_pipe();
    }
    if (first_line)
        *first_line = run.timed_out ? std::string() : out.first_line;
    if (!err.first_line.empty())
        wlog('D', log_tag::settings, "%s said: %s\n", command.argv[0].c_str(), err.first_line.c_str());

    if (run.timed_out) {
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_TIMED_OUT, "%s ran over its time limit",
                    command.argv[0].c_str());
        return false;
    }
    if (!WIFEXITED(run.wait_status) || WEXITSTATUS(run.wait_status) != 0) {
        const int code = WIFEXITED(run.wait_status) ? WEXITSTATUS(run.wait_status) : 128 + WTERMSIG(run.wait_status);
        wlog('D', log_tag::settings, "%s ended with status %d\n", command.argv[0].c_str(), code);
        g_set_error(error, CORVO_ERROR, CORVO_ERROR_EXITED, "%s ended with status %d",
                    command.argv[0].c_str(), code);
        return false;
    }
    return true;
}

bool host_start_background(const HostCommand &command)
{
    GPid pid = 0;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    if (!spawn(command, flags, &pid, nullptr, nullptr, nullptr))
        return false;
    g_child_watch_add(pid, on_background_exit, nullptr);
    return true;
}
