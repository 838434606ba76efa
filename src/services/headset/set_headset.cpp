#include "services/headset/headset_handlers.h"

#include <cstring>
#include <optional>
#include <string>

#include "common/error.h"
#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "host/file_io.h"
#include "host/fs.h"
#include "host/host_root.h"
#include "host/spawn.h"
#include "services/headset/headset_apps.h"

namespace {

constexpr size_t app_count = sizeof headset_apps / sizeof headset_apps[0];
constexpr int config_path_size = 100;
// Far beyond any real configuration file; the copy of anything larger is refused.
constexpr off_t config_file_max = 1024 * 1024;

// Checked in this order; callers see which application's path was rejected first.
constexpr char forbidden_chars[] = {'|', ';', '&', '$', '>', '<', '\'', '\\', '!', '#'};

// Set by a request to disable the application, cleared by one to enable it. Not stored:
// a restarted daemon starts with both clear while the folder names on disk persist.
bool app_disabled_by_request[app_count] = {};

struct AppRequest {
    char config_path[config_path_size] = {};
    bool config_path_too_long = false;
    std::optional<int> enable;  // nothing when not given
    bool failed = false;
};

void log_text(const char *text)
{
    wlog('D', log_tag::headset, "%s", text);
}

// An enable value that is not a number (a string, null, an object) would read as 0 and
// disable the application; it is taken as an invalid value instead.
// A caller may also pass `enable_not_given` to say that it gives no value.
std::optional<int> read_enable(const JsonParams &params, const char *member)
{
    constexpr int enable_not_given = 165;
    if (!params.member(member))
        return std::nullopt;
    if (!params.holds_number(member))
        return -1;
    const int enable = *params.get_int(member);
    return enable == enable_not_given ? std::nullopt : std::optional<int>(enable);
}

void read_request(const JsonParams &params, const HeadsetApp &app, AppRequest &request)
{
    if (!params.ok())
        return;
    params.copy_string(app.config_member, request.config_path, sizeof request.config_path);
    const auto full = params.get_string(app.config_member);
    request.config_path_too_long = full && full->size() >= sizeof request.config_path;
    request.enable = read_enable(params, app.enable_member);
}

void stop_running(const HeadsetApp &app)
{
    if (app.stopped_before_change)
        host_run(host_command("pkill -f %s", epos_process_pattern));
}

bool rename_folder(const std::string &from, const std::string &to)
{
    g_autoptr(GError) error = nullptr;
    if (host_rename(from, to, &error))
        return true;
    wlog('D', log_tag::headset, "rename %s to %s: %s\n", from.c_str(), to.c_str(), error->message);
    return false;
}

// Renames the program folder for an enable (1) or disable (0) request; false when the
// application ends up in neither state as asked.
bool apply_enable(const HeadsetApp &app, int enable)
{
    const std::string root = host_path(app.root);
    const std::string enabled = host_path(app.enabled_folder);
    const std::string disabled = host_path(app.disabled_folder);
    bool renamed = true;

    if (enable == 1) {
        app_disabled_by_request[&app - headset_apps] = false;
        if (!host_exists(root)) {
            log_text(app.root_missing);
            return false;
        }
        if (host_exists(disabled))
            renamed = rename_folder(disabled, enabled);
        else if (host_exists(enabled))
            log_text(app.enable_already);
        else {
            log_text(app.enable_failed);
            return false;
        }
    } else if (enable == 0) {
        app_disabled_by_request[&app - headset_apps] = true;
        if (!host_exists(root)) {
            log_text(app.root_missing);
            return false;
        }
        if (host_exists(enabled)) {
            stop_running(app);
            renamed = rename_folder(enabled, disabled);
        } else if (host_exists(disabled))
            log_text(app.disable_already);
        else {
            log_text(app.disable_failed);
            return false;
        }
    } else {
        log_text(app.bad_value);
        return false;
    }
    if (!renamed)
        log_text(app.rename_failed);
    return renamed;
}

// Runs a command that is waited for, logging it first; `capture` takes the first line it
// printed, if any.
void run_logged(const HostCommand &command, std::string *capture)
{
    wlog('D', log_tag::headset, "Try to execute %s\n", command.text.c_str());
    std::string line;
    g_autoptr(GError) error = nullptr;
    host_run(command, capture ? &line : nullptr, 255, &error);
    // The exit status is not examined: what the command printed is its result.
    if (host_run_started(error) && capture && !line.empty())
        *capture = line;
}

// The copy runs as root and every service waits for it: a FIFO would hold it forever and a
// device such as /dev/zero would fill the disk. Only a plain file of a sensible size, not a
// link that could be pointed elsewhere after this check, is copied. A file that is not there
// is not copied either; as with a copy that failed, that does not fail the call.
bool config_source_usable(const HeadsetApp &app, const char *path, GError **error)
{
    HostFileRules rules;
    rules.max_size = config_file_max;
    rules.refuse_links = true;
    if (host_file_check(path, rules, error))
        return true;
    wlog('D', log_tag::headset, "%s config file not installed: %s\n", app.name, (*error)->message);
    return false;
}

void install_and_start(const HeadsetApp &app, const char *config_path, std::string &capture)
{
    wlog('D', log_tag::headset, "%s%s\n", app.config_file, config_path);
    // "--" keeps a path that begins with '-' from being read as an option of cp.
    run_logged(host_command("cp -- %s %s", config_path, host_path(app.config_destination).c_str()), &capture);

    stop_running(app);
    HostCommand start = host_command("%s", host_path(app.start_program).c_str());
    start.text += " &";
    wlog('D', log_tag::headset, "Try to execute %s\n", start.text.c_str());
    host_start_background(start);
    wlog('D', log_tag::headset, "%s%s\n", app.execute_result, capture.c_str());
}

}  // namespace

gboolean on_handle_set_headset(CorvoHeadset *, GDBusMethodInvocation *invocation, const gchar *para)
{
    wlog('D', log_tag::headset, "set headset command is executed. first param: %s\n", log_param(para).c_str());
    const JsonParams params(para);
    AppRequest requests[app_count];
    for (size_t i = 0; i < app_count; ++i)
        read_request(params, headset_apps[i], requests[i]);

    for (char forbidden : forbidden_chars) {
        for (size_t i = 0; i < app_count; ++i) {
            if (strchr(requests[i].config_path, forbidden)) {
                wlog_res('N', log_tag::headset, headset_apps[i].invalid_resource, requests[i].config_path);
                return decline(invocation);
            }
        }
    }

    for (size_t i = 0; i < app_count; ++i)
        if (requests[i].enable && !apply_enable(headset_apps[i], *requests[i].enable))
            requests[i].failed = true;

    std::string capture = "Fail";
    for (size_t i = 0; i < app_count; ++i) {
        if (!requests[i].config_path[0] || app_disabled_by_request[i])
            continue;
        if (requests[i].config_path_too_long) {
            // A cut path would name another file; installing that one is worse than none.
            wlog('D', log_tag::headset, "%s config file path too long, not installed\n", headset_apps[i].name);
            requests[i].failed = true;
            continue;
        }
        g_autoptr(GError) error = nullptr;
        if (!config_source_usable(headset_apps[i], requests[i].config_path, &error)) {
            requests[i].failed = g_error_matches(error, CORVO_ERROR, CORVO_ERROR_REFUSED);
            continue;
        }
        install_and_start(headset_apps[i], requests[i].config_path, capture);
    }

    bool failed = false;
    for (const auto &request : requests)
        failed = failed || request.failed;
    const char *result = failed ? "FAILED" : "Success";
    wlog('D', log_tag::headset, "final result: %s\n", result);
    return complete_with_reply(invocation, reply_status(!failed));
}
