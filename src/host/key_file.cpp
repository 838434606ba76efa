#include "host/key_file.h"

#include <sys/stat.h>

#include "host/file_io.h"

namespace {

// Far beyond any settings file an application keeps.
constexpr off_t key_file_max = 1024 * 1024;

}  // namespace

GKeyFile *host_key_file_load(const std::string &path, GError **error)
{
    // The file belongs to an application and may lie in its folder: a FIFO or a device put
    // there must not hold the daemon, nor a huge file fill its memory.
    HostFileRules rules;
    rules.max_size = key_file_max;
    std::string content;
    if (!host_file_read_all(path.c_str(), rules, &content, error))
        return nullptr;
    GKeyFile *key_file = g_key_file_new();
    const auto flags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_data(key_file, content.data(), content.size(), flags, error)) {
        g_key_file_free(key_file);
        return nullptr;
    }
    return key_file;
}

bool host_key_file_save(GKeyFile *key_file, const std::string &path, GError **error)
{
    gsize length = 0;
    g_autofree char *data = g_key_file_to_data(key_file, &length, error);
    if (!data)
        return false;
    // The replacement takes over the old file's owner and mode: the application that owns
    // the file must still be able to write it, and a private file must stay private.
    struct stat info {};
    HostFileAttrs attrs;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        attrs.keep = &info;
    return host_file_replace(path, std::string_view(data, length), attrs, error);
}
