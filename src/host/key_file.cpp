#include "host/key_file.h"

#include <sys/stat.h>

#include "host/file_io.h"

GKeyFile *host_key_file_load(const std::string &path, GError **error)
{
    GKeyFile *key_file = g_key_file_new();
    const auto flags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_file(key_file, path.c_str(), flags, error)) {
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
