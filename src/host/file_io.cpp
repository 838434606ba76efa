#include "host/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "common/error.h"
#include "common/log.h"
#include "host/fd.h"

namespace {

void set_errno_error(GError **error, int number, const char *step, const char *path)
{
    g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(number), "%s %s: %s", step, path, g_strerror(number));
}

bool rules_allow(const struct stat &info, const HostFileRules &rules, const char *path, GError **error)
{
    const char *why = nullptr;
    if (!S_ISREG(info.st_mode))
        why = S_ISLNK(info.st_mode) ? "is a symbolic link" : "is not a regular file";
    else if (rules.max_size >= 0 && info.st_size > rules.max_size)
        why = "is too large";
    else if (rules.own_only && info.st_uid != geteuid())
        why = "belongs to another user";
    else if (rules.own_only && (info.st_mode & (S_IWGRP | S_IWOTH)))
        why = "is writable by group or others";
    if (!why)
        return true;
    g_set_error(error, CORVO_ERROR, CORVO_ERROR_REFUSED, "%s %s", path, why);
    return false;
}

ssize_t read_once(int fd, void *buffer, size_t size)
{
    return retry_eintr([&] { return read(fd, buffer, size); });
}

constexpr HostReplaceCalls real_replace_calls = {::write, ::fsync, ::rename};
HostReplaceCalls replace_calls = real_replace_calls;

bool write_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = retry_eintr([&] { return replace_calls.write(fd, data.data(), data.size()); });
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void sync_folder(const char *folder)
{
    const UniqueFd fd(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        (void)replace_calls.fsync(fd.get());
}

// Mode and owner of the new file; the owner first, as a change of owner clears set-id bits.
bool give_attrs(int fd, const HostFileAttrs &attrs)
{
    if (attrs.keep)
        return fchown(fd, attrs.keep->st_uid, attrs.keep->st_gid) == 0 && fchmod(fd, attrs.keep->st_mode & 07777) == 0;
    // g_mkstemp_full() created the file with `mode` less the umask.
    return attrs.less_umask || fchmod(fd, attrs.mode) == 0;
}

// A descriptor that names the file without opening it for reading or writing (good for fstat
// and for opening the same file again), or none with `error` set.
UniqueFd host_file_probe(const char *path, const HostFileRules &rules, GError **error)
{
    UniqueFd fd(open(path, O_PATH | O_CLOEXEC | (rules.refuse_links ? O_NOFOLLOW : 0)));
    if (!fd.valid()) {
        set_errno_error(error, errno, "cannot open", path);
        return fd;
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) {
        set_errno_error(error, errno, "cannot examine", path);
        return UniqueFd();
    }
    if (!rules_allow(info, rules, path, error))
        return UniqueFd();
    return fd;
}

// Checks `path` and opens the file it named (`access`: O_RDONLY or O_RDWR; no controlling
// terminal, no blocking) through the checked descriptor, not the path: a file swapped in
// after the check is never the one opened.
UniqueFd open_checked(const char *path, const HostFileRules &rules, int access, GError **error)
{
    const UniqueFd probe = host_file_probe(path, rules, error);
    if (!probe.valid())
        return UniqueFd();
    g_autofree char *same_file = g_strdup_printf("/proc/self/fd/%d", probe.get());
    UniqueFd fd(open(same_file, access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        set_errno_error(error, errno, "cannot open", path);
    return fd;
}

}  // namespace

bool host_file_read_all(const char *path, const HostFileRules &rules, std::string *content, GError **error)
{
    const UniqueFd fd = open_checked(path, rules, O_RDONLY, error);
    if (!fd.valid())
        return false;
    content->assign(static_cast<size_t>(rules.max_size), '\0');
    size_t filled = 0;
    ssize_t n = 0;
    // The file may grow after the check: never more than the limit is read.
    while (filled < content->size() &&
           (n = read_once(fd.get(), content->data() + filled, content->size() - filled)) > 0)
        filled += static_cast<size_t>(n);
    if (n < 0)
        set_errno_error(error, errno, "cannot read", path);
    content->resize(filled);
    return n >= 0;
}

bool host_file_read_text(const char *path, char **contents)
{
    if (!contents)
        return false;
    *contents = nullptr;
    g_autoptr(GError) error = nullptr;
    gsize length = 0;
    char *text = nullptr;
    if (!path || !g_file_get_contents(path, &text, &length, &error)) {
        wlog('D', log_tag::settings, "Error: Failed to read %s file. Reason: %s.\n", path ? path : "",
             error && error->message ? error->message : "");
        return false;
    }
    if (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        text[length - 1] = '\0';
    *contents = text;
    return true;
}

bool host_file_check(const char *path, const HostFileRules &rules, GError **error)
{
    return host_file_probe(path, rules, error).valid();
}

ssize_t host_file_read_head(const char *path, const HostFileRules &rules, void *buffer, size_t size, GError **error)
{
    const UniqueFd fd = open_checked(path, rules, O_RDWR, error);
    if (!fd.valid())
        return -1;
    const ssize_t n = read_once(fd.get(), buffer, size);
    if (n < 0)
        set_errno_error(error, errno, "cannot read", path);
    return n;
}

bool host_file_replace(const std::string &path, std::string_view data, const HostFileAttrs &attrs, GError **error)
{
    // Only root makes devices, sockets and folders; a caller naming /dev/null or a bus
    // socket means to write into it, and replacing it with a file would break the host.
    struct stat present {};
    if (lstat(path.c_str(), &present) == 0 && !S_ISREG(present.st_mode) && !S_ISLNK(present.st_mode) &&
        !S_ISFIFO(present.st_mode)) {
        g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED, "%s is not a file, not replaced", path.c_str());
        return false;
    }
    g_autofree char *folder = g_path_get_dirname(path.c_str());
    g_autofree char *base = g_path_get_basename(path.c_str());
    // Written out rather than left to g_file_set_contents_full(), which neither keeps the
    // owner nor syncs the folder, and whose temporary name the cleaner of the key=value files
    // (kv_file.cpp) could not recognise after a writer was killed before its rename.
    g_autofree char *temp = g_strdup_printf("%s/.%s.XXXXXX", folder, base);
    const int fd = g_mkstemp_full(temp, O_WRONLY | O_CLOEXEC, static_cast<int>(attrs.less_umask ? attrs.mode : 0600));
    if (fd < 0) {
        set_errno_error(error, errno, "cannot create a file beside", path.c_str());
        return false;
    }
    bool written = give_attrs(fd, attrs) && write_all(fd, data) && replace_calls.fsync(fd) == 0;
    int step_error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        step_error = errno;
    }
    if (written && replace_calls.rename(temp, path.c_str()) != 0) {
        written = false;
        step_error = errno;
    }
    if (!written) {
        set_errno_error(error, step_error, "cannot write", path.c_str());
        unlink(temp);
        return false;
    }
    sync_folder(folder);
    return true;
}

void host_file_set_replace_calls_for_tests(HostReplaceCalls calls)
{
    replace_calls = calls.write ? calls : real_replace_calls;
}
