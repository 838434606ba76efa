// Native, atomic editing of the host's key=value files: the boot-loader file
// (`name="value"` lines) and the host sysctl file (`name=value` lines).
//
// One KvEdit gathers the removals and appends of one request; kv_file_commit applies them
// to the file's current content and replaces the file in one rename, so another reader, a
// crash or a power cut sees the file wholly before or wholly after the request.
#pragma once

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class KvFormat {
    quoted,  // name="value", as the boot loader reads it
    plain,   // name=value
};

struct KvFileSpec {
    std::string path;  // resolved path of the file
    KvFormat format;
    size_t max_line;  // longest line, without its line end
};

class KvEdit {
public:
    // Removes every line whose key (the text before '=', blanks around it ignored) equals
    // `name` exactly. Comments and other lines are kept.
    void remove(std::string_view name);
    // Adds one `name=value` line: in the place of the first line an earlier remove() of the
    // same name took out, else after the file's last line.
    void append(std::string_view name, std::string_view value);

    struct Op {
        bool is_append;
        std::string name;
        std::string value;
    };
    const std::vector<Op> &ops() const { return ops_; }
    bool empty() const { return ops_.empty(); }

private:
    std::vector<Op> ops_;
};

// Names are [A-Za-z0-9_.-]+; values hold no control character (line ends, NUL, tab,
// escape...), and in the quoted format no double quote.
bool kv_name_valid(std::string_view name);
bool kv_value_valid(std::string_view value, KvFormat format);

// The key of a line: the text before its first '=', without surrounding blanks; empty for
// a line without '=' (comments among them), which is never removed.
std::string_view kv_line_key(std::string_view line);

// The line an append writes; a value too long for `max_line` is cut (at a character
// boundary) so that the line, closing quote included, fits. `cut` tells whether it was.
std::string kv_format_line(const KvFileSpec &file, std::string_view name, std::string_view value, bool *cut);

// Applies `content`'s edit in memory: the new file content (always ending with a line feed
// unless empty). Exposed for the tests and the fuzzer; kv_file_commit uses it.
std::string kv_apply(const KvFileSpec &file, std::string_view content, const KvEdit &edit);

// Reads the whole file for kv_value: a missing file reads as empty. False, with `error`
// (G_FILE_ERROR, its message naming the file and the reason), when it exists but cannot be read.
bool kv_file_read(const KvFileSpec &file, std::string *content, GError **error);

// The value the boot (or the host's sysctl start-up) takes for `name` from `content`: that of
// the last line whose key is `name`, blanks around it removed and, in the quoted format, its
// quotes; nothing when no line has the key.
std::optional<std::string> kv_value(const KvFileSpec &file, std::string_view content, std::string_view name);

// Validates the whole edit first (nothing is written when any part is refused), then
// replaces the file atomically: temporary file in the same folder, fsync, rename, fsync of
// the folder. The file's mode and owner are kept; a new file gets 0644. On failure the file
// keeps its old content and `error` is CORVO_ERROR_INVALID for a name or value the file
// cannot hold, a G_FILE_ERROR when the file could not be read or replaced.
bool kv_file_commit(const KvFileSpec &file, const KvEdit &edit, GError **error);
