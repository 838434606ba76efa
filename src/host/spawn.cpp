#include "host/spawn.h"

#include <cerrno>
#include <cstdarg>
#include <sys/wait.h>
#include <unistd.h>

#include "common/log.h"

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

void wait_for(GPid pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    g_spawn_close_pid(pid);
}

bool spawn(const HostCommand &command, GSpawnFlags flags, GPid *pid, int *stdout_fd)
{
    if (command.argv.empty())
        return false;
    std::vector<char *> argv;
    for (const auto &arg : command.argv)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    GError *error = nullptr;
    const auto all_flags = static_cast<GSpawnFlags>(flags | G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD);
    const bool started = g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, all_flags, nullptr, nullptr, pid,
                                                  nullptr, stdout_fd, nullptr, &error);
    if (!started) {
        wlog('D', log_tag::settings, "could not start %s: %s\n", command.argv[0].c_str(), error ? error->message : "");
        g_clear_error(&error);
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

bool host_run(const HostCommand &command, std::string *first_line, size_t max_line)
{
    GPid pid = 0;
    int out_fd = -1;
    const auto flags = first_line ? G_SPAWN_DEFAULT : G_SPAWN_STDOUT_TO_DEV_NULL;
    if (!spawn(command, flags, &pid, first_line ? &out_fd : nullptr))
        return false;
    if (first_line) {
        first_line->clear();
        char c;
        bool line_done = false;
        while (!line_done && first_line->size() < max_line) {
            ssize_t n = read(out_fd, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n')
                line_done = true;
            else
                *first_line += c;
        }
        close(out_fd);  // unread output is dropped; the program sees a closed pipe
    }
    wait_for(pid);
    return true;
}

bool host_start_background(const HostCommand &command)
{
    GPid pid = 0;
    if (!spawn(command, G_SPAWN_STDOUT_TO_DEV_NULL, &pid, nullptr))
        return false;
    g_child_watch_add(pid, on_background_exit, nullptr);
    return true;
}
