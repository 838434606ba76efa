// A temporary folder removed with everything in it when the test ends.
#pragma once

#include <glib.h>
#include <glib/gstdio.h>
#include <string>

class TempDir {
public:
    TempDir()
    {
        char *made = g_dir_make_tmp("corvo-test-XXXXXX", nullptr);
        path_ = made ? made : "";
        g_free(made);
    }
    ~TempDir() { remove_tree(path_); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    static void remove_tree(const std::string &path)
    {
        GDir *dir = g_dir_open(path.c_str(), 0, nullptr);
        if (dir) {
            while (const char *name = g_dir_read_name(dir)) {
                const std::string child = path + "/" + name;
                if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) &&
                    !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK))
                    remove_tree(child);
                else
                    g_unlink(child.c_str());
            }
            g_dir_close(dir);
        }
        g_rmdir(path.c_str());
    }
    std::string path_;
};
