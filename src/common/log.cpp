#include "common/log.h"
#include "common/log_param.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct ResourceText {
    const char *id;
    const char *text;  // a format for the arguments that follow the id
};

// English wording of the resource ids the daemon logs. The user interface shows its own
// localised texts for the same ids.
constexpr ResourceText resource_texts[] = {
    {"$(export_fail)", "failed to export the service object: %s"},
    {"$(invalid_param)", "invalid parameter"},
    {"$(sdl_invalid_input)", "no valid entry in the USB device list"},
    {"$(jabra_invalid)", "rejected Jabra configuration path %s"},
    {"$(epos_invalid)", "rejected EPOS configuration path %s"},
    {"$(bios_secureboot_en)", "BIOS secure boot is enabled"},
    {"$(bios_secureboot_dis)", "BIOS secure boot is disabled"},
    {"$(boot_password_err)", "could not verify the BIOS admin password"},
    {"$(password_not_change)", "another BIOS admin password is installed; BIOS left unchanged"},
    {"$(set_password_fail)", "could not install the BIOS admin password"},
    {"$(change_err)", "could not verify the new BIOS admin password"},
    {"$(init_err)", "could not read the secure boot state"},
    {"$(secure_fail)", "could not enable secure boot"},
    {"$(use_disable_fail)", "could not disable booting from USB"},
    {"$(pxe_disable_fail)", "could not disable PXE boot"},
    {"$(ahci_fail)", "could not enable AHCI"},
    {"$(deepsleep_fail)", "could not disable deep sleep"},
    {"$(smbios_dock_error)", "dock wake setting refused by the BIOS"},
    {"$(wake_dock_fail)", "could not enable wake from the dock"},
    {"$(wake_usb_fail)", "could not enable wake on USB"},
    {"$(smbios_nic_error)", "SFP network setting refused by the BIOS"},
    {"$(sfp_fail)", "could not enable the SFP network adapter"},
};

const char *resource_text(std::string_view id)
{
    for (const auto &row : resource_texts)
        if (id == row.id)
            return row.text;
    return nullptr;
}

LogSink log_sink = nullptr;
void *log_sink_data = nullptr;

// syslog(3) may block on a full stream socket; a non-blocking datagram to /dev/log never
// does. A message that cannot be sent at once is dropped from syslog (stderr keeps it).
int syslog_socket()
{
    static int fd = [] {
        int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0)
            return -1;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        g_strlcpy(addr.sun_path, "/dev/log", sizeof addr.sun_path);
        if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            close(s);
            return -1;
        }
        return s;
    }();
    return fd;
}

struct LevelPriority {
    char level;
    int priority;  // syslog(3) priority, for /dev/log and for the journal's "<N>" prefix
};

constexpr LevelPriority level_priorities[] = {
    {'E', 3},  // err
    {'T', 4},  // warning: rejected input
    {'N', 5},  // notice
    {'V', 6},  // info
    {'D', 7},  // debug
};

int level_priority(int level)
{
    for (const auto &row : level_priorities)
        if (row.level == level)
            return row.priority;
    return 7;
}

bool stderr_is_journal()
{
    struct stat status {};
    if (fstat(STDERR_FILENO, &status) != 0)
        return false;
    return log_stream_is_journal(secure_getenv("JOURNAL_STREAM"), status.st_dev, status.st_ino);
}

// A message becomes exactly one line: one trailing line feed is the line's own end, any
// other control character (caller text can hold some) is shown escaped.
void append_printable(std::string &line, std::string_view message)
{
    if (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    for (unsigned char c : message) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            g_snprintf(hex, sizeof hex, "\\x%02x", c);
            line += hex;
        } else
            line += static_cast<char>(c);
    }
}

void emit(int level, const char *tag, std::string_view prefix, std::string_view message)
{
    std::string line;
    line.reserve(prefix.size() + message.size() + 32);
    line += static_cast<char>(level);
    line += ' ';
    line += tag ? tag : "";
    line += ": ";
    line += prefix;
    append_printable(line, message);

    if (log_sink) {
        log_sink(line.c_str(), log_sink_data);
        return;
    }

    static const bool journal = stderr_is_journal();
    if (journal) {
        // The journal takes the priority from the prefix; a syslog copy would store it twice.
        g_autofree char *record = g_strdup_printf("<%d>%s\n", level_priority(level), line.c_str());
        fputs(record, stderr);
        return;
    }
    int fd = syslog_socket();
    if (fd >= 0) {
        g_autofree char *record = g_strdup_printf("<%d>corvo-settingsd[%d]: %s", 24 + level_priority(level),
                                                  static_cast<int>(getpid()), line.c_str() + 2);
        (void)send(fd, record, strlen(record), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    line += '\n';
    fputs(line.c_str(), stderr);
}

}  // namespace

bool log_stream_is_journal(const char *journal_stream, dev_t device, ino_t inode)
{
    if (!journal_stream)
        return false;
    const char *colon = strchr(journal_stream, ':');
    if (!colon)
        return false;
    const std::string device_text(journal_stream, colon);
    guint64 stream_device = 0;
    guint64 stream_inode = 0;
    return g_ascii_string_to_unsigned(device_text.c_str(), 10, 0, G_MAXUINT64, &stream_device, nullptr) &&
           g_ascii_string_to_unsigned(colon + 1, 10, 0, G_MAXUINT64, &stream_inode, nullptr) &&
           stream_device == static_cast<guint64>(device) && stream_inode == static_cast<guint64>(inode);
}

void log_set_sink(LogSink sink, void *user_data)
{
    log_sink = sink;
    log_sink_data = user_data;
}

int wlog(int level, const char *tag, const char *format, ...)
{
    if (!format)
        return -1;
    int saved_errno = errno;
    va_list args;
    va_start(args, format);
    g_autofree char *message = g_strdup_vprintf(format, args);
    va_end(args);
    emit(level, tag, {}, message);
    errno = saved_errno;
    return 0;
}

int wlog_res(int level, const char *tag, const char *resource, const char *argument)
{
    if (!resource)
        return -1;
    const int saved_errno = errno;
    const char *close = strchr(resource, ')');
    if (!g_str_has_prefix(resource, "$(") || !close) {
        emit(level, tag, {}, resource);
        errno = saved_errno;
        return 0;
    }
    // The English text goes after the id, its blank filled with the argument; any text after
    // the id follows as it stands.
    const std::string id(resource, static_cast<size_t>(close - resource + 1));
    const char *text = resource_text(id);
    std::string message = text ? text : "";
    const size_t blank = message.find("%s");
    if (blank != std::string::npos)
        message.replace(blank, 2, argument ? argument : "");
    message += close + 1;
    emit(level, tag, text ? id + " " : id, message);
    errno = saved_errno;
    return 0;
}

void log_truncated(const char *file, int line, std::string_view text)
{
    wlog('D', log_tag::settings, "file[%s] line[%d]: %s length error, truncated!\n", file, line,
         log_param(text).c_str());
}

void print_diagnostic(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}
