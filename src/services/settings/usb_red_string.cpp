#include "services/settings/usb_red_string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <glib.h>

#include "common/log.h"

namespace {

constexpr char special_entry[] = "0x00000000010100";

void log_wrong_data(const char *step, int line)
{
    wlog('T', log_tag::admin_policy, "Admin Policy USB red Config, %s got wrong data in line %d\n", step, line);
}

bool hex_digits(std::string_view text)
{
    if (text.empty())
        return false;
    for (unsigned char c : text)
        if (!g_ascii_isxdigit(c))
            return false;
    return true;
}

// The ","-separated words of an entry, empty ones skipped.
std::vector<std::string> words_of(const std::string &entry)
{
    std::vector<std::string> words;
    g_auto(GStrv) pieces = g_strsplit(entry.c_str(), ",", -1);
    for (char **piece = pieces; *piece; ++piece)
        if (**piece)
            words.emplace_back(*piece);
    return words;
}

}  // namespace

std::vector<std::string> parse_red_string(std::string_view list)
{
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < list.size() && entries.size() < usb_red_max_entries) {
        // The character before the next "0x" separates the two entries and is dropped.
        const size_t next = start + 2 <= list.size() ? list.find("0x", start + 2) : std::string_view::npos;
        const size_t end = next == std::string_view::npos ? list.size() : next - 1;
        const std::string piece(list.substr(start, end - start));
        start = next == std::string_view::npos ? list.size() : next;

        wlog('T', log_tag::admin_policy, "Admin Policy USB red Config, %s %d, ptr1 = %s\n", "parse_red_string",
             __LINE__, piece.c_str());
        if (piece.compare(0, 2, "0x") != 0) {
            log_wrong_data("parse_red_string", __LINE__);
            continue;
        }
        entries.push_back(piece);
    }
    return entries;
}

std::string usbif_setup_idstring(const std::vector<std::string> &entries, int *count)
{
    std::string out;
    int formatted = 0;
    for (const auto &entry : entries) {
        const std::vector<std::string> words = words_of(entry);
        if (words.empty()) {
            log_wrong_data("usbif_setup_idstring", __LINE__);
            continue;
        }
        unsigned flags = 1;
        for (const auto &word : words)
            if (word.find("NoDriver") != std::string::npos)
                flags = 3;

        // The id goes into the kernel string and the boot-loader file as it stands, so only
        // hex digits are taken after its "0x".
        const std::string &id = words[0];
        char kernel_entry[64] = {};
        if (id.compare(0, 2, "0x") != 0 || !hex_digits(std::string_view(id).substr(2))) {
            log_wrong_data("usbif_setup_idstring", __LINE__);
            continue;
        }
        switch (id.size()) {
        case 10: g_snprintf(kernel_entry, sizeof kernel_entry, "{%s,0x0,0x%x}", id.c_str(), flags); break;
        case 8: g_snprintf(kernel_entry, sizeof kernel_entry, "{0x0,%s,0x%x}", id.c_str(), flags); break;
        case 16: {
            const unsigned long long value = strtoull(id.c_str() + 2, nullptr, 16);
            g_snprintf(kernel_entry, sizeof kernel_entry, "{0x%llx,0x%llx,0x%x}", value >> 24, value & 0xffffffULL,
                       flags);
            break;
        }
        default: log_wrong_data("usbif_setup_idstring", __LINE__); continue;
        }
        out += ',';
        out += kernel_entry;
        ++formatted;
    }
    if (count)
        *count = formatted;
    return out;
}

std::string usb_red_kernel_string(std::string_view list, bool redirect)
{
    int count = 0;
    const std::string entries = usbif_setup_idstring(parse_red_string(list), &count);
    g_autofree char *text = g_strdup_printf("%d,%d,%d%s", redirect ? 1 : 0, 0, count, entries.c_str());
    return text;
}

bool usb_red_is_special(std::string_view list)
{
    return list.size() >= sizeof special_entry - 1 &&
           g_ascii_strncasecmp(list.data(), special_entry, sizeof special_entry - 1) == 0;
}

namespace {

// "0x" and 1 to `max_digits` hex digits, as the kernel string prints a number.
std::optional<unsigned long long> kernel_number(std::string_view text, size_t max_digits)
{
    if (text.compare(0, 2, "0x") != 0 || text.size() > 2 + max_digits || !hex_digits(text.substr(2)))
        return std::nullopt;
    return strtoull(std::string(text.substr(2)).c_str(), nullptr, 16);
}

// One "{a,b,flags}" entry back to its id list entry.
std::optional<std::string> red_entry_of(std::string_view entry)
{
    g_auto(GStrv) fields = g_strsplit(std::string(entry).c_str(), ",", -1);
    if (g_strv_length(fields) != 3)
        return std::nullopt;
    const std::string_view first = fields[0], second = fields[1];
    const auto flags = kernel_number(fields[2], 1);
    if (!flags || (*flags != 1 && *flags != 3))
        return std::nullopt;
    std::string id;
    if (first.size() == 10 && second == "0x0" && kernel_number(first, 8)) {
        id = first;  // vendor and product, as sent
    } else if (first == "0x0" && second.size() == 8 && kernel_number(second, 6)) {
        id = second;  // class, subclass, protocol, as sent
    } else {
        const auto high = kernel_number(first, 8), low = kernel_number(second, 6);
        if (!high || !low)
            return std::nullopt;
        char text[20];
        g_snprintf(text, sizeof text, "0x%08llx%06llx", *high, *low);
        id = text;
    }
    return *flags == 3 ? id + ",NoDriver" : id;
}

}  // namespace

std::optional<UsbRedRequest> usb_red_request_of(std::string_view kernel_string)
{
    // "mode,0,count" then count times ",{a,b,flags}".
    const size_t open = std::min(kernel_string.find('{'), kernel_string.size());
    std::string_view head = kernel_string.substr(0, open);
    if (open < kernel_string.size()) {
        if (head.empty() || head.back() != ',')
            return std::nullopt;
        head.remove_suffix(1);
    }
    unsigned mode = 0, zero = 0, count = 0;
    char end = 0;
    if (sscanf(std::string(head).c_str(), "%u,%u,%u%c", &mode, &zero, &count, &end) != 3 || mode > 1 || zero != 0 ||
        count > usb_red_max_entries)
        return std::nullopt;
    UsbRedRequest request;
    request.redirect = mode == 1;
    std::string_view rest = kernel_string.substr(open);
    for (unsigned i = 0; i < count; ++i) {
        const size_t close = rest.find('}');
        if (rest.empty() || rest.front() != '{' || close == std::string_view::npos)
            return std::nullopt;
        const auto entry = red_entry_of(rest.substr(1, close - 1));
        if (!entry)
            return std::nullopt;
        if (!request.ids.empty())
            request.ids += ' ';
        request.ids += *entry;
        rest.remove_prefix(close + 1);
        if (i + 1 < count) {
            if (rest.empty() || rest.front() != ',')
                return std::nullopt;
            rest.remove_prefix(1);
        }
    }
    if (!rest.empty() || usb_red_kernel_string(request.ids, request.redirect) != kernel_string)
        return std::nullopt;
    return request;
}
