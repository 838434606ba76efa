#include "host/key_file.h"

#include <sys/stat.h>

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
    // Without this the replacement would get the process umask's default mode, and a
    // file the application keeps private could become readable by everyone.
    int mode = 0644;
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        mode = static_cast<int>(st.st_mode & 07777);
    const auto flags = static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT);
    return g_file_set_contents_full(path.c_str(), data, static_cast<gssize>(length), flags, mode, error);
}
