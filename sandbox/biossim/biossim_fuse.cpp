// corvo-biossim: mounts the BIOS simulator as a folder holding the driver's request file.
//
//   corvo-biossim [--seed FILE] MOUNTPOINT
//
// The folder holds:
//   smi_request  the driver's file: a write is one request, the next read returns its answer
//   sim_state    read: the state as JSON; write: JSON merged into the state (applied on close)
//   sim_log      read: every request received, as a JSON array; write: empties the log
// It runs in the foreground until the folder is unmounted (fusermount3 -u) or it is signalled.
#define FUSE_USE_VERSION 31

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fuse.h>
#include <glib.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "biossim.h"

namespace {

enum FileId { FILE_SMI, FILE_STATE, FILE_LOG, FILE_COUNT };
constexpr const char *file_names[FILE_COUNT] = {"smi_request", "sim_state", "sim_log"};

// One request-answer pair at a time, as the driver keeps it: a read returns the answer to
// the last write. The loop is single-threaded, so no lock is needed.
biossim::Sim sim;
biossim::Answer last_answer;

struct Handle {
    FileId file;
    std::string content;  // snapshot for reading, or collected text for writing
    bool written = false;
};
std::map<uint64_t, Handle> handles;
uint64_t next_handle = 1;

int file_of(const char *path)
{
    for (int i = 0; i < FILE_COUNT; ++i)
        if (path[0] == '/' && strcmp(path + 1, file_names[i]) == 0)
            return i;
    return -1;
}

int sim_getattr(const char *path, struct stat *st, struct fuse_file_info *)
{
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (file_of(path) < 0)
        return -ENOENT;
    st->st_mode = S_IFREG | 0600;
    st->st_nlink = 1;
    st->st_size = 4096;  // like a sysfs attribute; reads bypass the cache anyway
    return 0;
}

int sim_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t, struct fuse_file_info *,
                enum fuse_readdir_flags)
{
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const char *name : file_names)
        fill(buf, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int sim_open(const char *path, struct fuse_file_info *fi)
{
    const int file = file_of(path);
    if (file < 0)
        return -ENOENT;
    Handle handle{static_cast<FileId>(file), {}};
    if (file == FILE_STATE)
        handle.content = biossim::to_json(sim);
    else if (file == FILE_LOG)
        handle.content = biossim::log_to_json(sim);
    fi->fh = next_handle++;
    fi->direct_io = 1;  // every read and write reaches the simulator
    handles[fi->fh] = handle;
    return 0;
}

int sim_truncate(const char *path, off_t, struct fuse_file_info *)
{
    return file_of(path) < 0 ? -ENOENT : 0;
}

int sim_read(const char *, char *buf, size_t size, off_t offset, struct fuse_file_info *fi)
{
    auto it = handles.find(fi->fh);
    if (it == handles.end())
        return -EBADF;
    const std::string *content = &it->second.content;
    if (it->second.file == FILE_SMI) {
        if (last_answer.kind == biossim::answer_read_error)
            return -EIO;
        content = &last_answer.text;
    }
    if (offset < 0 || static_cast<size_t>(offset) >= content->size())
        return 0;
    const size_t n = std::min(size, content->size() - static_cast<size_t>(offset));
    memcpy(buf, content->data() + offset, n);
    return static_cast<int>(n);
}

int sim_write(const char *, const char *buf, size_t size, off_t offset, struct fuse_file_info *fi)
{
    auto it = handles.find(fi->fh);
    if (it == handles.end())
        return -EBADF;
    Handle &handle = it->second;
    switch (handle.file) {
    case FILE_SMI:
        last_answer = biossim::handle(sim, buf, size);
        if (last_answer.kind == biossim::answer_write_error)
            return -EIO;
        return static_cast<int>(size);
    case FILE_LOG: sim.requests.clear(); return static_cast<int>(size);
    case FILE_STATE:
        if (!handle.written)
            handle.content.clear();
        handle.written = true;
        if (static_cast<size_t>(offset) > handle.content.size())
            handle.content.resize(static_cast<size_t>(offset));
        handle.content.replace(static_cast<size_t>(offset), size, buf, size);
        return static_cast<int>(size);
    default: return -EBADF;
    }
}

// A state written through sim_state takes effect when the writer closes the file, so a bad
// text is reported to it by close().
int sim_flush(const char *, struct fuse_file_info *fi)
{
    auto it = handles.find(fi->fh);
    if (it == handles.end() || it->second.file != FILE_STATE || !it->second.written)
        return 0;
    std::string error;
    const bool applied = biossim::apply_json(sim, it->second.content, &error);
    it->second.written = false;
    it->second.content.clear();
    if (!applied) {
        fprintf(stderr, "corvo-biossim: state refused: %s\n", error.c_str());
        return -EINVAL;
    }
    return 0;
}

int sim_release(const char *, struct fuse_file_info *fi)
{
    handles.erase(fi->fh);
    return 0;
}

void *sim_init(struct fuse_conn_info *, struct fuse_config *config)
{
    config->direct_io = 1;
    config->attr_timeout = 0;
    config->entry_timeout = 0;
    return nullptr;
}

bool load_seed(const char *path)
{
    g_autofree char *text = nullptr;
    GError *error = nullptr;
    if (!g_file_get_contents(path, &text, nullptr, &error)) {
        fprintf(stderr, "corvo-biossim: %s\n", error->message);
        g_error_free(error);
        return false;
    }
    std::string why;
    if (!biossim::apply_json(sim, text, &why)) {
        fprintf(stderr, "corvo-biossim: %s: %s\n", path, why.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    biossim::reset(sim);
    const char *seed = nullptr;
    const char *mount_point = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            seed = argv[++i];
        else if (!mount_point && argv[i][0] != '-')
            mount_point = argv[i];
        else {
            fprintf(stderr, "usage: corvo-biossim [--seed FILE] MOUNTPOINT\n");
            return 2;
        }
    }
    if (!mount_point) {
        fprintf(stderr, "usage: corvo-biossim [--seed FILE] MOUNTPOINT\n");
        return 2;
    }
    if (seed && !load_seed(seed))
        return 1;

    struct fuse_operations ops = {};
    ops.getattr = sim_getattr;
    ops.readdir = sim_readdir;
    ops.open = sim_open;
    ops.truncate = sim_truncate;
    ops.read = sim_read;
    ops.write = sim_write;
    ops.flush = sim_flush;
    ops.release = sim_release;
    ops.init = sim_init;

    // Foreground, one thread: requests are answered strictly in the order they arrive.
    std::vector<char *> fuse_argv = {argv[0], const_cast<char *>("-f"), const_cast<char *>("-s"),
                                     const_cast<char *>(mount_point)};
    return fuse_main(static_cast<int>(fuse_argv.size()), fuse_argv.data(), &ops, nullptr);
}
