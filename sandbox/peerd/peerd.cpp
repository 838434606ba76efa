// corvo-peerd: stand-in for the configuration store (com.corvo.config) and the device
// service (com.corvo.udev), for the tests and the sandbox. See usage_description below.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <glib/gstdio.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "config_dbus.h"
#include "peertest_dbus.h"
#include "udev_dbus.h"

namespace {

constexpr char usage_description[] =
    "Owns com.corvo.config (/com/corvo/config) and com.corvo.udev (/com/corvo/udev) on the\n"
    "system bus named by DBUS_SYSTEM_BUS_ADDRESS, and the control interface\n"
    "com.corvo.peertest (/com/corvo/peertest) through which tests switch faults on and off.\n"
    "\n"
    "State, all in the --state-dir folder:\n"
    "  store.ini      the stored keys (a GLib key file, saved atomically; read afresh for\n"
    "                 every request, so changes made with --seed are seen at once)\n"
    "  remounts.log   one line per RemountUsbdisks request: \"ro\" or \"rw\"\n"
    "\n"
    "Store: GetKey answers the stored text; a key never set is answered with the error\n"
    "\"key not found\". SetKeyT stores the value (types 20, 40 and 64 are accepted).\n"
    "ExtCmd \"echo\" answers its first parameter with an empty error; any other command is\n"
    "refused. Empty schema, module or key names are refused.\n"
    "\n"
    "Seeding and dumping (no bus needed, the service may be running):\n"
    "  corvo-peerd --state-dir DIR --seed ITEM...   ITEM is [SCHEMA/]MODULE/KEY=VALUE (schema\n"
    "      \"system\" when left out) and stores VALUE as it stands; [SCHEMA/]MODULE/KEY without\n"
    "      \"=\" removes the key. In names, %XX stands for the byte XX (%2F for \"/\", %3D for \"=\").\n"
    "  corvo-peerd --state-dir DIR --dump            prints SCHEMA/MODULE/KEY=VALUE lines; names\n"
    "      are %XX-escaped like above, and in values a backslash, line feed, carriage return,\n"
    "      tab and other control bytes are written \\\\, \\n, \\r, \\t and \\xXX.\n"
    "\n"
    "Control interface com.corvo.peertest: Refuse(b) refuses every store request with a\n"
    "non-empty error; RemountAnswer(s) sets the remount reply (\"Success\" at start);\n"
    "Delay(u) answers store and device requests that many ms late; Requests() -> as and\n"
    "ClearRequests() give the received requests; Quit() exits. SIGTERM and SIGINT exit too.";

constexpr char refusal_text[] = "refused by the test stand-in";
constexpr char not_found_text[] = "key not found";

struct State {
    std::string dir;
    std::string store_path;
    std::string lock_path;
    std::string remounts_path;
    bool refuse = false;
    std::string remount_answer = "Success";
    guint delay_ms = 0;
    GMutex requests_lock;
    std::vector<std::string> requests;
    GMainLoop *loop = nullptr;
    GDBusConnection *connection = nullptr;
    int exit_status = 0;
};

State state;

// ---- Names inside the key file: group "SCHEMA/MODULE", key "KEY", each %XX-escaped.

std::string escape_name(const char *name)
{
    char *escaped = g_uri_escape_string(name, nullptr, FALSE);
    std::string result = escaped;
    g_free(escaped);
    return result;
}

bool unescape_name(const std::string &text, std::string &out)
{
    char *raw = g_uri_unescape_string(text.c_str(), nullptr);
    if (!raw)
        return false;
    out = raw;
    g_free(raw);
    return true;
}

std::string group_name(const char *schema, const char *module)
{
    return escape_name(schema) + "/" + escape_name(module);
}

// ---- The store file, read and written under an exclusive lock shared with --seed.

class StoreLock {
public:
    StoreLock()
    {
        fd_ = open(state.lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~StoreLock()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;

private:
    int fd_ = -1;
};

// The stored keys; an absent file is an empty store. NULL (and a message) when unreadable.
GKeyFile *load_store(GError **error)
{
    GKeyFile *file = g_key_file_new();
    GError *local = nullptr;
    if (!g_key_file_load_from_file(file, state.store_path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &local)) {
        if (!g_error_matches(local, G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
            g_propagate_error(error, local);
            g_key_file_free(file);
            return nullptr;
        }
        g_clear_error(&local);
    }
    return file;
}

// Replaced by rename, so a reader or a killed peer never sees half a file. Not flushed to
// disk: the stand-in lives for one test run, and a flush per SetKeyT would dominate the
// cost of the daemon's own calls in the benchmarks.
bool save_store(GKeyFile *file, GError **error)
{
    gsize length = 0;
    g_autofree char *data = g_key_file_to_data(file, &length, error);
    if (!data)
        return false;
    const std::string temp = state.store_path + ".new";
    if (!g_file_set_contents_full(temp.c_str(), data, static_cast<gssize>(length), G_FILE_SET_CONTENTS_NONE, 0644,
                                  error))
        return false;
    if (g_rename(temp.c_str(), state.store_path.c_str()) != 0) {
        g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(errno), "rename: %s", g_strerror(errno));
        return false;
    }
    return true;
}

// ---- Answers, optionally late.

struct LateAnswer {
    GDBusMethodInvocation *invocation;
    GVariant *value;
    guint source;
};

std::vector<LateAnswer *> late_answers;

void free_late_answer(LateAnswer *late)
{
    g_object_unref(late->invocation);
    g_variant_unref(late->value);
    delete late;
}

gboolean send_late_answer(gpointer data)
{
    auto *late = static_cast<LateAnswer *>(data);
    g_dbus_method_invocation_return_value(late->invocation, late->value);
    std::erase(late_answers, late);
    free_late_answer(late);
    return G_SOURCE_REMOVE;
}

void answer(GDBusMethodInvocation *invocation, GVariant *value)
{
    if (state.delay_ms == 0) {
        g_dbus_method_invocation_return_value(invocation, value);
        return;
    }
    auto *late = new LateAnswer{G_DBUS_METHOD_INVOCATION(g_object_ref(invocation)), g_variant_ref_sink(value), 0};
    late->source = g_timeout_add(state.delay_ms, send_late_answer, late);
    late_answers.push_back(late);
}

// Answers still waiting when the stand-in exits are never sent: the caller sees the peer vanish.
void drop_late_answers()
{
    for (LateAnswer *late : late_answers) {
        g_source_remove(late->source);
        free_late_answer(late);
    }
    late_answers.clear();
}

// ---- com.corvo.config

gboolean on_get_key(CorvoConfig *, GDBusMethodInvocation *invocation, const gchar *schema, const gchar *module,
                    const gchar *attr, gpointer)
{
    if (state.refuse) {
        answer(invocation, g_variant_new("(ss)", "", refusal_text));
        return TRUE;
    }
    if (!*schema || !*module || !*attr) {
        answer(invocation, g_variant_new("(ss)", "", "invalid name"));
        return TRUE;
    }
    GError *error = nullptr;
    StoreLock lock;
    GKeyFile *file = load_store(&error);
    if (!file) {
        answer(invocation, g_variant_new("(ss)", "", error->message));
        g_error_free(error);
        return TRUE;
    }
    const std::string group = group_name(schema, module);
    const std::string key = escape_name(attr);
    char *value = g_key_file_get_string(file, group.c_str(), key.c_str(), nullptr);
    if (value)
        answer(invocation, g_variant_new("(ss)", value, ""));
    else
        answer(invocation, g_variant_new("(ss)", "", not_found_text));
    g_free(value);
    g_key_file_free(file);
    return TRUE;
}

gboolean on_set_key_t(CorvoConfig *, GDBusMethodInvocation *invocation, const gchar *schema, const gchar *module,
                      const gchar *attr, const gchar *value, gint type, gpointer)
{
    if (state.refuse) {
        answer(invocation, g_variant_new("(s)", refusal_text));
        return TRUE;
    }
    if (!*schema || !*module || !*attr) {
        answer(invocation, g_variant_new("(s)", "invalid name"));
        return TRUE;
    }
    if (type != 20 && type != 40 && type != 64) {
        answer(invocation, g_variant_new("(s)", "unsupported type"));
        return TRUE;
    }
    GError *error = nullptr;
    StoreLock lock;
    GKeyFile *file = load_store(&error);
    if (file) {
        g_key_file_set_string(file, group_name(schema, module).c_str(), escape_name(attr).c_str(), value);
        save_store(file, &error);
        g_key_file_free(file);
    }
    answer(invocation, g_variant_new("(s)", error ? error->message : ""));
    g_clear_error(&error);
    return TRUE;
}

gboolean on_ext_cmd(CorvoConfig *, GDBusMethodInvocation *invocation, const gchar *cmd, const gchar *param1,
                    const gchar *, gpointer)
{
    if (state.refuse)
        answer(invocation, g_variant_new("(ss)", "", refusal_text));
    else if (strcmp(cmd, "echo") == 0)
        answer(invocation, g_variant_new("(ss)", param1, ""));
    else
        answer(invocation, g_variant_new("(ss)", "", "unknown command"));
    return TRUE;
}

// ---- com.corvo.udev

gboolean on_remount_usbdisks(CorvoUdev *, GDBusMethodInvocation *invocation, gboolean rd, gpointer)
{
    const int fd = open(state.remounts_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const char *line = rd ? "ro\n" : "rw\n";
        if (write(fd, line, 3) != 3)
            g_printerr("corvo-peerd: could not record the remount: %s\n", g_strerror(errno));
        close(fd);
    }
    answer(invocation, g_variant_new("(s)", state.remount_answer.c_str()));
    return TRUE;
}

// ---- com.corvo.peertest

gboolean on_refuse(CorvoPeertest *object, GDBusMethodInvocation *invocation, gboolean on, gpointer)
{
    state.refuse = on;
    corvo_peertest_complete_refuse(object, invocation);
    return TRUE;
}

gboolean on_remount_answer(CorvoPeertest *object, GDBusMethodInvocation *invocation, const gchar *text, gpointer)
{
    state.remount_answer = text;
    corvo_peertest_complete_remount_answer(object, invocation);
    return TRUE;
}

gboolean on_delay(CorvoPeertest *object, GDBusMethodInvocation *invocation, guint ms, gpointer)
{
    state.delay_ms = ms;
    corvo_peertest_complete_delay(object, invocation);
    return TRUE;
}

gboolean on_requests(CorvoPeertest *object, GDBusMethodInvocation *invocation, gpointer)
{
    std::vector<const char *> texts;
    g_mutex_lock(&state.requests_lock);
    for (const auto &request : state.requests)
        texts.push_back(request.c_str());
    texts.push_back(nullptr);
    corvo_peertest_complete_requests(object, invocation, texts.data());
    g_mutex_unlock(&state.requests_lock);
    return TRUE;
}

gboolean on_clear_requests(CorvoPeertest *object, GDBusMethodInvocation *invocation, gpointer)
{
    g_mutex_lock(&state.requests_lock);
    state.requests.clear();
    g_mutex_unlock(&state.requests_lock);
    corvo_peertest_complete_clear_requests(object, invocation);
    return TRUE;
}

gboolean quit_loop(gpointer)
{
    g_main_loop_quit(state.loop);
    return G_SOURCE_REMOVE;
}

gboolean on_quit(CorvoPeertest *object, GDBusMethodInvocation *invocation, gpointer)
{
    corvo_peertest_complete_quit(object, invocation);
    g_idle_add(quit_loop, nullptr);
    return TRUE;
}

// Runs on the GDBus worker thread: notes every call that reaches the two peer objects,
// including those the skeletons answer themselves (Properties.GetAll of a new proxy).
GDBusMessage *note_request(GDBusConnection *, GDBusMessage *message, gboolean incoming, gpointer)
{
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL)
        return message;
    const char *path = g_dbus_message_get_path(message);
    const char *service = nullptr;
    if (g_strcmp0(path, "/com/corvo/config") == 0)
        service = "config";
    else if (g_strcmp0(path, "/com/corvo/udev") == 0)
        service = "udev";
    if (!service)
        return message;
    const char *interface = g_dbus_message_get_interface(message);
    const char *member = g_dbus_message_get_member(message);
    std::string request = std::string(service) + " ";
    if (interface && g_str_has_prefix(interface, "org.freedesktop.DBus."))
        request += std::string(interface) + ".";
    request += member ? member : "";
    g_mutex_lock(&state.requests_lock);
    state.requests.push_back(request);
    g_mutex_unlock(&state.requests_lock);
    return message;
}

// ---- Names

void on_name_lost(GDBusConnection *, const gchar *name, gpointer)
{
    g_printerr("corvo-peerd: could not own %s\n", name);
    state.exit_status = 1;
    g_main_loop_quit(state.loop);
}

gboolean on_signal(gpointer)
{
    g_main_loop_quit(state.loop);
    return G_SOURCE_REMOVE;
}

bool export_object(GDBusInterfaceSkeleton *skeleton, const char *path)
{
    GError *error = nullptr;
    if (!g_dbus_interface_skeleton_export(skeleton, state.connection, path, &error)) {
        g_printerr("corvo-peerd: could not export %s: %s\n", path, error->message);
        g_error_free(error);
        return false;
    }
    return true;
}

int serve()
{
    GError *error = nullptr;
    state.connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!state.connection) {
        g_printerr("corvo-peerd: no system bus: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    g_dbus_connection_add_filter(state.connection, note_request, nullptr, nullptr);
    state.loop = g_main_loop_new(nullptr, FALSE);

    CorvoConfig *config = corvo_config_skeleton_new();
    g_signal_connect(config, "handle-get-key", G_CALLBACK(on_get_key), nullptr);
    g_signal_connect(config, "handle-set-key-t", G_CALLBACK(on_set_key_t), nullptr);
    g_signal_connect(config, "handle-ext-cmd", G_CALLBACK(on_ext_cmd), nullptr);
    CorvoUdev *udev = corvo_udev_skeleton_new();
    g_signal_connect(udev, "handle-remount-usbdisks", G_CALLBACK(on_remount_usbdisks), nullptr);
    CorvoPeertest *control = corvo_peertest_skeleton_new();
    g_signal_connect(control, "handle-refuse", G_CALLBACK(on_refuse), nullptr);
    g_signal_connect(control, "handle-remount-answer", G_CALLBACK(on_remount_answer), nullptr);
    g_signal_connect(control, "handle-delay", G_CALLBACK(on_delay), nullptr);
    g_signal_connect(control, "handle-requests", G_CALLBACK(on_requests), nullptr);
    g_signal_connect(control, "handle-clear-requests", G_CALLBACK(on_clear_requests), nullptr);
    g_signal_connect(control, "handle-quit", G_CALLBACK(on_quit), nullptr);

    guint owner_ids[3] = {};
    if (export_object(G_DBUS_INTERFACE_SKELETON(config), "/com/corvo/config") &&
        export_object(G_DBUS_INTERFACE_SKELETON(udev), "/com/corvo/udev") &&
        export_object(G_DBUS_INTERFACE_SKELETON(control), "/com/corvo/peertest")) {
        const char *names[] = {"com.corvo.peertest", "com.corvo.config", "com.corvo.udev"};
        for (int i = 0; i < 3; ++i)
            owner_ids[i] = g_bus_own_name_on_connection(state.connection, names[i], G_BUS_NAME_OWNER_FLAGS_NONE,
                                                        nullptr, on_name_lost, nullptr, nullptr);
        g_unix_signal_add(SIGTERM, on_signal, nullptr);
        g_unix_signal_add(SIGINT, on_signal, nullptr);
        g_main_loop_run(state.loop);
    } else {
        state.exit_status = 1;
    }

    drop_late_answers();
    for (guint id : owner_ids)
        if (id)
            g_bus_unown_name(id);
    g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(control));
    g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(udev));
    g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(config));
    g_dbus_connection_flush_sync(state.connection, nullptr, nullptr);
    g_object_unref(control);
    g_object_unref(udev);
    g_object_unref(config);
    g_object_unref(state.connection);
    g_main_loop_unref(state.loop);
    return state.exit_status;
}

// ---- --seed and --dump

bool parse_item(const char *item, std::string &schema, std::string &module, std::string &key, std::string &value,
                bool &has_value)
{
    const char *equals = strchr(item, '=');
    has_value = equals != nullptr;
    const std::string path = has_value ? std::string(item, equals - item) : std::string(item);
    if (has_value)
        value = equals + 1;
    char **parts = g_strsplit(path.c_str(), "/", -1);
    const guint count = g_strv_length(parts);
    bool ok = count == 2 || count == 3;
    if (ok) {
        const guint first = count == 3 ? 1 : 0;
        if (count == 3)
            ok = unescape_name(parts[0], schema);
        else
            schema = "system";
        ok = ok && unescape_name(parts[first], module) && unescape_name(parts[first + 1], key);
        ok = ok && !schema.empty() && !module.empty() && !key.empty();
    }
    g_strfreev(parts);
    return ok;
}

// The key file for a command-line mode, or nullptr after saying why it cannot be read.
GKeyFile *load_store_or_report()
{
    GError *error = nullptr;
    GKeyFile *file = load_store(&error);
    if (!file) {
        g_printerr("corvo-peerd: cannot read %s: %s\n", state.store_path.c_str(), error->message);
        g_error_free(error);
    }
    return file;
}

int seed(char **items)
{
    StoreLock lock;
    GKeyFile *file = load_store_or_report();
    if (!file)
        return 1;
    int status = 0;
    for (char **item = items; item && *item; ++item) {
        std::string schema, module, key, value;
        bool has_value = false;
        if (!parse_item(*item, schema, module, key, value, has_value) ||
            (has_value && !g_utf8_validate(value.c_str(), -1, nullptr))) {
            g_printerr("corvo-peerd: bad seed item: %s\n", *item);
            status = 2;
            break;
        }
        const std::string group = group_name(schema.c_str(), module.c_str());
        if (has_value)
            g_key_file_set_string(file, group.c_str(), escape_name(key.c_str()).c_str(), value.c_str());
        else
            g_key_file_remove_key(file, group.c_str(), escape_name(key.c_str()).c_str(), nullptr);
    }
    GError *error = nullptr;
    if (status == 0 && !save_store(file, &error)) {
        g_printerr("corvo-peerd: cannot write %s: %s\n", state.store_path.c_str(), error->message);
        g_error_free(error);
        status = 1;
    }
    g_key_file_free(file);
    return status;
}

std::string escape_value(const char *value)
{
    std::string out;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(value); *c; ++c) {
        switch (*c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (*c < 0x20 || *c == 0x7f) {
                char hex[8];
                g_snprintf(hex, sizeof hex, "\\x%02x", *c);
                out += hex;
            } else {
                out += static_cast<char>(*c);
            }
        }
    }
    return out;
}

int dump()
{
    StoreLock lock;
    GKeyFile *file = load_store_or_report();
    if (!file)
        return 1;
    char **groups = g_key_file_get_groups(file, nullptr);
    for (char **group = groups; *group; ++group) {
        char **keys = g_key_file_get_keys(file, *group, nullptr, nullptr);
        for (char **key = keys; keys && *key; ++key) {
            char *value = g_key_file_get_string(file, *group, *key, nullptr);
            if (value)
                printf("%s/%s=%s\n", *group, *key, escape_value(value).c_str());
            g_free(value);
        }
        g_strfreev(keys);
    }
    g_strfreev(groups);
    g_key_file_free(file);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    char *state_dir = nullptr;
    gboolean seed_mode = FALSE;
    gboolean dump_mode = FALSE;
    char **items = nullptr;
    GOptionEntry entries[] = {
        {"state-dir", 0, 0, G_OPTION_ARG_FILENAME, &state_dir, "Folder of the stored keys and the remount log", "DIR"},
        {"seed", 0, 0, G_OPTION_ARG_NONE, &seed_mode, "Store or remove the keys given as ITEMs, then exit", nullptr},
        {"dump", 0, 0, G_OPTION_ARG_NONE, &dump_mode, "Print the stored keys, then exit", nullptr},
        {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &items, nullptr, "[ITEM...]"},
        {},
    };
    GOptionContext *context = g_option_context_new("- stand-in configuration store and device service");
    g_option_context_add_main_entries(context, entries, nullptr);
    g_option_context_set_description(context, usage_description);
    GError *error = nullptr;
    const bool parsed = g_option_context_parse(context, &argc, &argv, &error);
    g_option_context_free(context);
    if (!parsed || !state_dir || (items && !seed_mode)) {
        g_printerr("corvo-peerd: %s (see --help)\n", error        ? error->message
                                                     : !state_dir ? "--state-dir is required"
                                                                  : "ITEMs need --seed");
        g_clear_error(&error);
        g_free(state_dir);
        g_strfreev(items);
        return 2;
    }
    state.dir = state_dir;
    g_free(state_dir);
    state.store_path = state.dir + "/store.ini";
    state.lock_path = state.dir + "/store.lock";
    state.remounts_path = state.dir + "/remounts.log";
    g_mutex_init(&state.requests_lock);
    if (g_mkdir_with_parents(state.dir.c_str(), 0755) != 0) {
        g_printerr("corvo-peerd: cannot make %s: %s\n", state.dir.c_str(), g_strerror(errno));
        g_strfreev(items);
        return 1;
    }

    int status = 0;
    if (seed_mode)
        status = seed(items);
    if (status == 0 && dump_mode)
        status = dump();
    if (!seed_mode && !dump_mode)
        status = serve();
    g_strfreev(items);
    return status;
}
