#include "host/kv_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error.h"
#include "common/log.h"
#include "common/utf8_cut.h"
#include "host/fd.h"
#include "host/file_io.h"

void KvEdit::remove(std::string_view name)
{
    ops_.push_back({false, std::string(name), {}});
}

void KvEdit::append(std::string_view name, std::string_view value)
{
    ops_.push_back({true, std::string(name), std::string(value)});
}

bool kv_name_valid(std::string_view name)
{
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (!g_ascii_isalnum(c) && c != '_' && c != '.' && c != '-')
            return false;
    return true;
}

bool kv_value_valid(std::string_view value, KvFormat format)
{
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7f || (format == KvFormat::quoted && c == '"'))
            return false;
    return true;
}

namespace {

std::vector<std::string> split_lines(std::string_view content)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos)
            end = content.size();
        lines.emplace_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool read_whole(const std::string &path, std::string *content, bool *exists, struct stat *info)
{
    *exists = false;
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT;
    *exists = true;
    if (fstat(fd.get(), info) != 0 || !S_ISREG(info->st_mode))
        return false;
    char buffer[8192];
    for (;;) {
        const ssize_t n = retry_eintr([&] { return read(fd.get(), buffer, sizeof buffer); });
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        content->append(buffer, static_cast<size_t>(n));
    }
}

// A writer killed between creating its temporary file and renaming it leaves that file
// behind; without this every such crash would leave another one in the boot folder.
void remove_stale_temps(const char *folder, const char *base)
{
    GDir *dir = g_dir_open(folder, 0, nullptr);
    if (!dir)
        return;
    const std::string prefix = std::string(".") + base + ".";
    while (const char *name = g_dir_read_name(dir)) {
        if (strlen(name) != prefix.size() + 6 || strncmp(name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string path = std::string(folder) + "/" + name;
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            unlink(path.c_str());
    }
    g_dir_close(dir);
}

}  // namespace

std::string_view kv_line_key(std::string_view line)
{
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t'))
        key.remove_prefix(1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
        key.remove_suffix(1);
    return key;
}

std::string kv_format_line(const KvFileSpec &file, std::string_view name, std::string_view value, bool *cut)
{
    const bool quoted = file.format == KvFormat::quoted;
    const size_t frame = name.size() + 1 + (quoted ? 2 : 0);
    const size_t room = file.max_line > frame ? file.max_line - frame : 0;
    const std::string_view kept = utf8_cut(value, room);
    if (cut)
        *cut = kept.size() < value.size();
    std::string line(name);
    line += '=';
    if (quoted)
        line += '"';
    line += kept;
    if (quoted)
        line += '"';
    return line;
}

std::string kv_apply(const KvFileSpec &file, std::string_view content, const KvEdit &edit)
{
    // A removed key leaves a slot where its first line stood; a later append of the same key
    // fills it, so replacing a tunable keeps its place and an unchanged value leaves the file
    // byte-identical. Keys appended without an earlier line go after the last line.
    struct Line {
        std::string text;
        bool removed = false;
        std::string slot;  // the key whose append may fill this removed line
    };
    std::vector<Line> lines;
    for (auto &text : split_lines(content))
        lines.push_back({std::move(text), false, {}});
    for (const auto &op : edit.ops()) {
        if (op.is_append) {
            bool cut = false;
            std::string text = kv_format_line(file, op.name, op.value, &cut);
            if (cut)
                log_truncated("kv_file.cpp", __LINE__, op.value);
            auto slot = std::find_if(lines.begin(), lines.end(), [&](const Line &l) { return l.slot == op.name; });
            if (slot != lines.end())
                *slot = {std::move(text), false, {}};
            else
                lines.push_back({std::move(text), false, {}});
        } else {
            bool first = true;
            for (auto &line : lines)
                if (!line.removed && kv_line_key(line.text) == op.name) {
                    line.removed = true;
                    if (first)
                        line.slot = op.name;
                    first = false;
                }
        }
    }
    std::string out;
    for (const auto &line : lines)
        if (!line.removed) {
            out += line.text;
            out += '\n';
        }
    return out;
}

std::optional<std::string> kv_value(const KvFileSpec &file, std::string_view content, std::string_view name)
{
    std::optional<std::string> found;
    for (const auto &line : split_lines(content)) {
        if (kv_line_key(line) != name)
            continue;
        std::string_view value = std::string_view(line).substr(line.find('=') + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (file.format == KvFormat::quoted && value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        found = std::string(value);  // the last line wins, as for the boot loader
    }
    return found;
}

bool kv_file_read(const KvFileSpec &file, std::string *content, GError **error)
{
    bool exists = false;
    struct stat info {};
    content->clear();
    if (read_whole(file.path, content, &exists, &info))
        return true;
    const int number = errno;
    const bool irregular = exists && !S_ISREG(info.st_mode);
    g_set_error(error, G_FILE_ERROR, irregular ? G_FILE_ERROR_FAILED : g_file_error_from_errno(number), "%s: %s",
                file.path.c_str(), irregular ? "not a regular file" : g_strerror(number));
    content->clear();
    return false;
}

bool kv_file_commit(const KvFileSpec &file, const KvEdit &edit, GError **error)
{
    for (const auto &op : edit.ops()) {
        const bool fits = op.name.size() + 1 + (file.format == KvFormat::quoted ? 2 : 0) < file.max_line;
        if (!kv_name_valid(op.name) || !fits || (op.is_append && !kv_value_valid(op.value, file.format))) {
            wlog('T', log_tag::admin_policy, "refused %s entry for %s\n", file.path.c_str(), op.name.c_str());
            g_set_error(error, CORVO_ERROR, CORVO_ERROR_INVALID, "refused %s entry for %s", file.path.c_str(),
                        op.name.c_str());
            return false;
        }
    }

    std::string content;
    bool exists = false;
    struct stat info {};
    if (!read_whole(file.path, &content, &exists, &info)) {
        const int number = errno;
        wlog('D', log_tag::settings, "%s: read error(%s) \n", file.path.c_str(), g_strerror(number));
        g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(number), "%s: %s", file.path.c_str(),
                    g_strerror(number));
        return false;
    }
    g_autofree char *folder = g_path_get_dirname(file.path.c_str());
    g_autofree char *base = g_path_get_basename(file.path.c_str());
    // Also when the values are unchanged: an edit that rewrites nothing still clears what a
    // killed writer left.
    remove_stale_temps(folder, base);
    const std::string updated = kv_apply(file, content, edit);
    if (exists && updated == content)
        return true;

    HostFileAttrs attrs;
    attrs.keep = exists ? &info : nullptr;
    g_autoptr(GError) replace_error = nullptr;
    if (!host_file_replace(file.path, updated, attrs, &replace_error)) {
        wlog('D', log_tag::settings, "%s: write error(%s) \n", file.path.c_str(), replace_error->message);
        g_propagate_error(error, g_steal_pointer(&replace_error));
        return false;
    }
    return true;
}
