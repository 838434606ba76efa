#include "ctl/auth_agent.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char *agent_program = "/usr/bin/pkttyagent";
// The agent closes the descriptor it is given once it has registered.
constexpr int agent_notify_fd = 3;
constexpr int registration_wait_ms = 10000;

// Ends the agent when corvoctl ends, on every return path of main.
struct RunningAgent {
    GPid pid = 0;
    ~RunningAgent()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};
RunningAgent agent;

void wait_for_registration(int fd)
{
    struct pollfd ready = {fd, POLLIN, 0};
    char byte;
    while (poll(&ready, 1, registration_wait_ms) > 0 && read(fd, &byte, 1) > 0) {
    }
}

}  // namespace

void ctl_auth_agent_start()
{
    static bool started = false;
    // Root is never asked for a password.
    if (started || geteuid() == 0 || access(agent_program, X_OK) != 0)
        return;
    started = true;
    int notify[2];
    if (pipe2(notify, O_CLOEXEC) != 0)
        return;
    g_autofree char *pid_text = g_strdup_printf("%d", static_cast<int>(getpid()));
    const char *argv[] = {agent_program, "--notify-fd", "3", "--fallback", "--process", pid_text, nullptr};
    const int source_fds[] = {notify[1]};
    const int target_fds[] = {agent_notify_fd};
    GPid pid = 0;
    const gboolean spawned = g_spawn_async_with_pipes_and_fds(
        nullptr, argv, nullptr, static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CHILD_INHERITS_STDIN),
        nullptr, nullptr, -1, -1, -1, source_fds, target_fds, 1, &pid, nullptr, nullptr, nullptr, nullptr);
    close(notify[1]);
    if (spawned) {
        agent.pid = pid;
        wait_for_registration(notify[0]);
    }
    close(notify[0]);
}
