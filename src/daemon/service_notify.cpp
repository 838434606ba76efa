#include "daemon/service_notify.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Notifier {
    int fd = -1;
    sockaddr_un address{};
    socklen_t address_size = 0;
    guint64 watchdog_usec = 0;
};

Notifier notifier;

// Pings closer together than this would keep the main loop busy with nothing else.
constexpr guint64 watchdog_usec_min = 100000;

// A path ("/run/...") or an abstract name ("@...", the '@' standing for the leading NUL).
bool socket_address(const char *name, sockaddr_un *address, socklen_t *size)
{
    const size_t length = strlen(name);
    if ((name[0] != '/' && name[0] != '@') || length < 2 || length >= sizeof address->sun_path)
        return false;
    address->sun_family = AF_UNIX;
    memcpy(address->sun_path, name, length);
    if (name[0] == '@')
        address->sun_path[0] = '\0';
    *size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    return true;
}

// The pings are for this process only: a WATCHDOG_PID naming another one (the variable
// was inherited) asks for none.
guint64 watchdog_interval(const char *usec, const char *pid)
{
    if (!usec)
        return 0;
    if (pid) {
        guint64 owner = 0;
        if (!g_ascii_string_to_unsigned(pid, 10, 1, G_MAXINT, &owner, nullptr) ||
            owner != static_cast<guint64>(getpid()))
            return 0;
    }
    guint64 interval = 0;
    if (!g_ascii_string_to_unsigned(usec, 10, 1, G_MAXUINT64, &interval, nullptr))
        return 0;
    return MAX(interval, watchdog_usec_min);
}

void send_state(const char *state)
{
    if (notifier.fd < 0)
        return;
    // A lost notice is the manager's to time out on; the daemon serves on regardless, and
    // never waits for a reader that stopped reading.
    (void)sendto(notifier.fd, state, strlen(state), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<sockaddr *>(&notifier.address), notifier.address_size);
}

gboolean on_watchdog(gpointer)
{
    send_state("WATCHDOG=1");
    return G_SOURCE_CONTINUE;
}

}  // namespace

void service_notify_init()
{
    const char *socket_name = secure_getenv("NOTIFY_SOCKET");
    if (!socket_name)
        return;
    if (socket_address(socket_name, &notifier.address, &notifier.address_size)) {
        notifier.fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (notifier.fd >= 0)
            notifier.watchdog_usec = watchdog_interval(secure_getenv("WATCHDOG_USEC"), secure_getenv("WATCHDOG_PID"));
    }
    for (const char *name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
        g_unsetenv(name);
}

void service_notify_ready()
{
    g_autofree char *state = g_strdup_printf("READY=1\nMAINPID=%d", static_cast<int>(getpid()));
    send_state(state);
}

void service_notify_stopping()
{
    send_state("STOPPING=1");
}

void service_watchdog_start()
{
    if (notifier.fd < 0 || notifier.watchdog_usec == 0)
        return;
    const guint64 half_ms = notifier.watchdog_usec / 2000;
    g_timeout_add(half_ms > 0 ? static_cast<guint>(MIN(half_ms, G_MAXUINT)) : 1, on_watchdog, nullptr);
}
