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

#include "host/host_root.h"

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

// syslog(3) may block on a full stream socket; a non-blocking datagram never does. The
// socket is connected again whenever syslog went away (restarted, or not started yet), so a
// record is dropped from syslog only when a fresh connection cannot take it either, or when
// syslog's queue is full. Standard error keeps every line.
int syslog_fd = -1;
G_LOCK_DEFINE_STATIC(syslog_fd);

int syslog_connect()
{
    const std::string path = host_path("/dev/log");
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return -1;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The errors of a socket whose listener is gone, or of a path with no listener behind it.
bool syslog_went_away(int error)
{
    return error == ECONNREFUSED || error == ENOTCONN || error == ENOENT;
}

void syslog_send(const std::string &record)
{
    G_LOCK(syslog_fd);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (syslog_fd < 0)
            syslog_fd = syslog_connect();
        if (syslog_fd < 0)
            break;
        if (send(syslog_fd, record.data(), record.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0 || !syslog_went_away(errno))
            break;
        close(syslog_fd);
        syslog_fd = -1;
    }
    G_UNLOCK(syslog_fd);
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

bool stream_is_journal(int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return false;
    return log_stream_is_journal(secure_getenv("JOURNAL_STREAM"), status.st_dev, status.st_ino);
}

// Code points shown escaped although they are valid text: C1 controls, the line and
// paragraph separators, and the bidirectional embeddings, overrides and isolates, with which
// caller text could start a line of its own or make a line read differently from its bytes.
bool is_hidden_code_point(gunichar c)
{
    return (c >= 0x80 && c <= 0x9f) || (c >= 0x2028 && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

void append_hex_byte(std::string &line, unsigned char c)
{
    char hex[8];
    g_snprintf(hex, sizeof hex, "\\x%02x", c);
    line += hex;
}

// A message becomes exactly one line: one trailing line feed is dropped; control
// characters, C1 controls, line and paragraph separators, bidirectional controls and bytes
// that are not UTF-8 are shown escaped (a line feed as \n, ESC as \x1b, U+202E as \u202e).
void append_printable(std::string &line, std::string_view message)
{
    if (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    size_t at = 0;
    while (at < message.size()) {
        const auto c = static_cast<unsigned char>(message[at]);
        if (c < 0x80) {
            if (c == '\n')
                line += "\\n";
            else if (c == '\r')
                line += "\\r";
            else if (c < 0x20 || c == 0x7f)
                append_hex_byte(line, c);
            else
                line += static_cast<char>(c);
            ++at;
            continue;
        }
        const gunichar code_point =
            g_utf8_get_char_validated(message.data() + at, static_cast<gssize>(message.size() - at));
        if (code_point == static_cast<gunichar>(-1) || code_point == static_cast<gunichar>(-2)) {
            append_hex_byte(line, c);  // not UTF-8: each byte on its own
            ++at;
            continue;
        }
        const size_t length = static_cast<size_t>(g_utf8_skip[c]);
        if (is_hidden_code_point(code_point)) {
            char escaped[16];
            g_snprintf(escaped, sizeof escaped, "\\u%04x", code_point);
            line += escaped;
        } else {
            line.append(message.data() + at, length);
        }
        at += length;
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

    static const bool journal = stream_is_journal(STDERR_FILENO);
    if (journal) {
        // The journal takes the priority from the prefix; a syslog copy would store it twice.
        g_autofree char *record = g_strdup_printf("<%d>%s\n", level_priority(level), line.c_str());
        fputs(record, stderr);
        return;
    }
    g_autofree char *record = g_strdup_printf("<%d>corvo-settingsd[%d]: %s", 24 + level_priority(level),
                                              static_cast<int>(getpid()), line.c_str() + 2);
    syslog_send(record);
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

void wlog(int level, const char *tag, const char *format, ...)
{
    if (!format)
        return;
    int saved_errno = errno;
    va_list args;
    va_start(args, format);
    g_autofree char *message = g_strdup_vprintf(format, args);
    va_end(args);
    emit(level, tag, {}, message);
    errno = saved_errno;
}

void wlog_res(int level, const char *tag, const char *resource, const char *argument)
{
    if (!resource)
        return;
    const int saved_errno = errno;
    const char *close = strchr(resource, ')');
    if (!g_str_has_prefix(resource, "$(") || !close) {
        emit(level, tag, {}, resource);
        errno = saved_errno;
        return;
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
}

void log_truncated(const char *file, int line, std::string_view text)
{
    wlog('D', log_tag::settings, "file[%s] line[%d]: %s length error, truncated!\n", file, line,
         log_param(text).c_str());
}

void print_diagnostic(const char *format, ...)
{
    const int saved_errno = errno;
    va_list args;
    va_start(args, format);
    g_autofree char *message = g_strdup_vprintf(format, args);
    va_end(args);
    // Escaped like a log line, so that caller text cannot start a line of its own; in the
    // journal a "<N>" of ours comes first, so none in the text can set the line's priority.
    static const bool journal = stream_is_journal(STDOUT_FILENO);
    std::string line = journal ? "<6>" : "";
    append_printable(line, message);
    line += '\n';
    fputs(line.c_str(), stdout);
    errno = saved_errno;
}
