// corvoctl: the administrator's command line for the four services of corvo-settingsd.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "ctl/bus.h"
#include "corvo-config.h"
#include "ctl/output.h"
#include "ctl/verbs.h"

namespace {

constexpr int timeout_max_s = G_MAXINT / 1000;

// Options of single verbs, to refuse them where they do not belong.
struct VerbOptionRow {
    unsigned bit;
    const char *name;
    char *CtlOptions::*value;
};
constexpr VerbOptionRow verb_options[] = {
    {verb_password, "--password-file", &CtlOptions::password_file},
    {verb_new_password, "--new-password-file", &CtlOptions::new_password_file},
    {verb_config, "--config", &CtlOptions::config_file},
    {verb_usb, "--read-only", &CtlOptions::read_only},
    {verb_usb, "--white-vidpid", &CtlOptions::white_vidpid},
    {verb_usb, "--white-class", &CtlOptions::white_class},
    {verb_usb, "--black-vidpid", &CtlOptions::black_vidpid},
    {verb_usb, "--black-class", &CtlOptions::black_class},
};

// Known apart from the parse, so that even a command line that does not parse answers
// with one JSON document.
bool wants_json(int argc, char **argv)
{
    for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i)
        if (strcmp(argv[i], "--json") == 0)
            return true;
    return false;
}

// Help and version: the text, or one JSON string with --json.
int print_text(const CtlOptions &options, const char *text)
{
    if (!options.json) {
        fputs(text, stdout);
        return ctl_exit_success;
    }
    g_autoptr(JsonNode) node = json_node_init_string(json_node_alloc(), text);
    ctl_print_json(node);
    return ctl_exit_success;
}

void append_usage(GString *text, const char *lead, const VerbRow &row)
{
    g_string_append_printf(text, "%s%s%s%s%s%s\n", lead, row.verb, row.sub ? " " : "", row.sub ? row.sub : "",
                           *row.synopsis ? " " : "", row.synopsis);
}

int print_help(const CtlOptions &options)
{
    g_autoptr(GString) text =
        g_string_new("Usage: corvoctl [--json] [--timeout SECONDS] [--no-ask-password] COMMAND...\n\nCommands:\n");
    for (const auto &row : verb_rows())
        append_usage(text, "  ", row);
    g_string_append(text, "\nSERVICE is settings, bios, headset or thirdapps. See corvoctl(1).\n");
    return print_text(options, text->str);
}

// `corvoctl VERB [SUB] --help`: the usage of every row those words choose.
int print_verb_help(const CtlOptions &options, char **words, int count)
{
    g_autoptr(GString) text = g_string_new(nullptr);
    for (const auto &row : verb_rows())
        if (strcmp(row.verb, words[0]) == 0 && (count < 2 || !row.sub || strcmp(row.sub, words[1]) == 0))
            append_usage(text, "Usage: corvoctl ", row);
    if (text->len == 0)
        return ctl_usage_error(options, "unknown command \"%s%s%s\"", words[0], count > 1 ? " " : "",
                               count > 1 ? words[1] : "");
    return print_text(options, text->str);
}

const VerbRow *find_verb(char **words, int count, int *used)
{
    for (const auto &row : verb_rows()) {
        if (strcmp(row.verb, words[0]) != 0)
            continue;
        *used = row.sub ? 2 : 1;
        if (!row.sub || (count > 1 && strcmp(row.sub, words[1]) == 0))
            return &row;
    }
    return nullptr;
}

int run(CtlOptions &options, int argc, char **argv)
{
    // Texts are taken as bytes (filename arguments), not converted from the locale's
    // character set: a request must be UTF-8 whatever the locale, and ctl_call checks it.
    const GOptionEntry entries[] = {
        {"json", 0, 0, G_OPTION_ARG_NONE, &options.json, "Print one JSON document", nullptr},
        {"timeout", 0, 0, G_OPTION_ARG_INT, &options.timeout_s, "Seconds to wait for a reply", "SECONDS"},
        {"help", 'h', 0, G_OPTION_ARG_NONE, &options.help, "Show the commands", nullptr},
        {"dry-run", 0, 0, G_OPTION_ARG_NONE, &options.dry_run, "Show the calls apply would make", nullptr},
        {"no-ask-password", 0, 0, G_OPTION_ARG_NONE, &options.no_ask_password, "Never ask for a password", nullptr},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options.version, "Show the version", nullptr},
        {"password-file", 0, 0, G_OPTION_ARG_FILENAME, &options.password_file, "Admin password", "FILE"},
        {"new-password-file", 0, 0, G_OPTION_ARG_FILENAME, &options.new_password_file, "New admin password", "FILE"},
        {"config", 0, 0, G_OPTION_ARG_FILENAME, &options.config_file, "Configuration file", "FILE"},
        {"read-only", 0, 0, G_OPTION_ARG_FILENAME, &options.read_only, "USB disks read-only", "yes|no"},
        {"white-vidpid", 0, 0, G_OPTION_ARG_FILENAME, &options.white_vidpid, "USB white list by id", "LIST"},
        {"white-class", 0, 0, G_OPTION_ARG_FILENAME, &options.white_class, "USB white list by class", "LIST"},
        {"black-vidpid", 0, 0, G_OPTION_ARG_FILENAME, &options.black_vidpid, "USB black list by id", "LIST"},
        {"black-class", 0, 0, G_OPTION_ARG_FILENAME, &options.black_class, "USB black list by class", "LIST"},
        {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &options.words, nullptr, nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    g_autoptr(GOptionContext) context = g_option_context_new(nullptr);
    g_option_context_set_help_enabled(context, FALSE);
    g_option_context_add_main_entries(context, entries, nullptr);
    g_autoptr(GError) error = nullptr;
    const bool json = wants_json(argc, argv);
    if (!g_option_context_parse(context, &argc, &argv, &error)) {
        // A failed parse puts the options back as they were before it.
        options.json = json;
        return ctl_usage_error(options, "%s", error->message);
    }
    const int count = options.words ? static_cast<int>(g_strv_length(options.words)) : 0;
    if (options.help)
        return count > 0 ? print_verb_help(options, options.words, count) : print_help(options);
    if (options.version)
        return print_text(options, "corvoctl " CORVO_VERSION "\n");
    if (options.timeout_s <= 0 || options.timeout_s > timeout_max_s)
        return ctl_usage_error(options, "--timeout takes a number of seconds from 1 to %d", timeout_max_s);

    // As systemctl does: ask for a password only where someone can type it.
    ctl_bus_allow_interaction(!options.no_ask_password && isatty(STDIN_FILENO));

    if (count == 0)
        return ctl_usage_error(options, "no command given");
    int used = 0;
    const VerbRow *verb = find_verb(options.words, count, &used);
    if (!verb)
        return ctl_usage_error(options, "unknown command \"%s%s%s\"", options.words[0], count > 1 ? " " : "",
                               count > 1 ? options.words[1] : "");
    for (const auto &row : verb_options)
        if (options.*row.value && !(verb->options & row.bit))
            return ctl_usage_error(options, "%s is not an option of \"%s\"", row.name, verb->verb);
    if (options.dry_run && !(verb->options & verb_dry_run))
        return ctl_usage_error(options, "--dry-run is not an option of \"%s\"", verb->verb);
    const int rest = count - used;
    if (rest < verb->min_words || (verb->max_words >= 0 && rest > verb->max_words))
        return ctl_usage_error(options, "usage: corvoctl %s%s%s %s", verb->verb, verb->sub ? " " : "",
                               verb->sub ? verb->sub : "", verb->synopsis);
    return verb->run(options, options.words + used, rest);
}

}  // namespace

int main(int argc, char **argv)
{
    CtlOptions options;
    return run(options, argc, argv);
}
