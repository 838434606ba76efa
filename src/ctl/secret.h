// Texts that may hold a password: wiped before their memory goes back, and read from a file
// or standard input, never from the command line.
#pragma once

#include <cstddef>
#include <glib.h>

class Secret {
public:
    Secret() = default;
    // Takes `buffer` (g_malloc'ed, `size` bytes); the text is its part up to the first NUL.
    Secret(char *buffer, size_t size) : buffer_(buffer), size_(size) {}
    ~Secret() { clear(); }
    Secret(Secret &&other) noexcept;
    Secret &operator=(Secret &&other) noexcept;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;

    const char *get() const { return buffer_ ? buffer_ : ""; }
    char *data() { return buffer_; }
    void clear();

private:
    char *buffer_ = nullptr;
    size_t size_ = 0;
};

// The whole of standard input, with one line end removed at its end.
bool read_stdin_text(Secret *text, GError **error);

// The first line of `path` ("-": standard input) without its line end.
bool read_password_file(const char *path, Secret *password, GError **error);
