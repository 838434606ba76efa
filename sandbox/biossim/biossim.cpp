#include "biossim.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace biossim {
namespace {

// Every token the daemon uses belongs to one setting: the tokens that switch or select its
// value and the token it is read by. A write stores its value, a read answers it.
struct SettingTokens {
    const char *name;
    uint32_t tokens[5];  // 0 ends the list early
};

constexpr SettingTokens settings_table[] = {
    {"ACRecovery", {0xA1, 0xA2, 0xA3}},
    {"AutoPower", {0x28, 0x29, 0x2A, 0x312}},  // 0 off, 1 daily, 2 working days, 3 chosen days
    {"AutoOnHour", {0x2B}},
    {"AutoOnMinute", {0x2C}},
    {"AutoOnSunday", {0x313, 0x314}},
    {"AutoOnMonday", {0x315, 0x316}},
    {"AutoOnTuesday", {0x317, 0x318}},
    {"AutoOnWednesday", {0x319, 0x31A}},
    {"AutoOnThursday", {0x31B, 0x31C}},
    {"AutoOnFriday", {0x31D, 0x31E}},
    {"AutoOnSaturday", {0x31F, 0x320}},
    {"WakeOnLan", {0x55, 0x57, 0x383, 0x464, 0x216}},
    {"MACPASSConfigure", {0x499, 0x49A, 0x49B}},
    {"DeepSleep", {0xF5, 0xF6, 0x30F}},
    {"Fastboot", {0xEA, 0xEB, 0xEC}},
    {"ExtendedBIOSPostTime", {0x3C6, 0x3C7, 0x3C8}},
    {"KeyboardErrorDetection", {0x9D, 0x9E}},
    {"SupressDockWarnMsg", {0x3A8, 0x3A9}},
    {"WakeOnUSB", {0x146, 0x147}},
    {"Audio", {0x22, 0x23}},
    {"AdminLock", {0x2BD, 0x2BE}},
    {"USBRearPortK20", {0x1D4, 0x1D5}},
    {"USBRearPort", {0x41A, 0x41B}},
    {"USBFrontTopPort", {0x3E2, 0x3E3}},
    {"USBFrontTopMePort", {0x3E4, 0x3E5}},
    {"USBFrontBottomMePort", {0x3E6, 0x3E7}},
    {"USBFrontBottomPort", {0x3E8, 0x3E9}},
    {"USBBootSupport", {0x9B, 0x109}},
    {"PXEBootSupport", {0x2D, 0x6E}},
    {"USBFrontPort", {0x14E, 0x14F}},
    {"SecureBoot", {0x34F, 0x350}},
    {"OSDConfigure", {0x372, 0x373}},
    {"USBSidePortTop", {0x1B5, 0x1B6}},
    {"USBSideBottom", {0x1B7, 0x1B8}},
    {"USBRearPortTopLeft", {0x1A1, 0x1A2}},
    {"USBRearPortTopRight", {0x1A3, 0x1A4}},
    {"USBRearBottomLeft", {0x1A5, 0x1A6}},
    {"USBRearPortBottomRight", {0x1A7, 0x1A8}},
    {"USBSidePort", {0x41C, 0x41D}},
    {"AHCI", {0x138}},
    {"WakeOnDock", {0x446}},
    {"SFPNic", {0x44A}},
};

std::vector<std::string> split_fields(const std::string &text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t blank = text.find(' ', start);
        if (blank == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, blank - start));
        start = blank + 1;
    }
}

bool parse_hex(const std::string &field, uint32_t *value)
{
    std::string digits = field;
    while (!digits.empty() && (digits.back() == '\n' || digits.back() == '\r'))
        digits.pop_back();
    if (digits.empty())
        return false;
    for (char c : digits)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    *value = static_cast<uint32_t>(strtoull(digits.c_str(), nullptr, 16));
    return true;
}

std::string join_from(const std::vector<std::string> &fields, size_t first)
{
    std::string text;
    for (size_t i = first; i < fields.size(); ++i) {
        if (i > first)
            text += ' ';
        text += fields[i];
    }
    return text;
}

std::string hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%x", value);
    return text;
}

struct Reply {
    uint32_t status = status_ok;
    uint32_t output1 = 0;
    uint32_t output2 = 0;
};

bool password_allowed(const Sim &sim, const std::string &password)
{
    if (password.size() < sim.min_len || password.size() > sim.max_len)
        return false;
    for (unsigned char c : password) {
        if (sim.ascii_only && c > 0x7f)
            return false;
        if (sim.alnum_only && !isalnum(c))
            return false;
    }
    return true;
}

Reply token_request(Sim &sim, bool write, const uint32_t (&input)[4])
{
    const char *name = setting_of_token(input[0]);
    if (!name)
        return {status_unknown};
    if (!write)
        return {status_ok, sim.values[name]};
    if (sim.password_installed && input[2] != sim.security_key)
        return {status_denied};
    sim.values[name] = input[1];
    return {};
}

Reply verify(Sim &sim, const std::string &password)
{
    if (!sim.password_installed || password != sim.password)
        return {status_denied};
    return {status_ok, sim.security_key};
}

// Removing (new password empty) or setting; the current password must match when one is
// installed, and is ignored otherwise.
Reply change(Sim &sim, const std::string &current, const std::string &next)
{
    if (sim.password_installed && current != sim.password)
        return {status_denied};
    if (next.empty()) {
        sim.password_installed = false;
        sim.password.clear();
        return {};
    }
    if (!password_allowed(sim, next))
        return {status_refused};
    sim.password_installed = true;
    sim.password = next;
    return {};
}

Reply asset_tag(const Sim &sim)
{
    uint32_t words[2] = {};
    for (size_t i = 0; i < sim.asset_tag.size() && i < 8; ++i)
        words[i / 4] |= static_cast<uint32_t>(static_cast<unsigned char>(sim.asset_tag[i])) << (8 * (i % 4));
    return {status_ok, words[0], words[1]};
}

Reply dispatch(Sim &sim, const std::vector<std::string> &fields, int cmd_class, int cmd_select,
               const uint32_t (&input)[4], bool inputs_ok)
{
    if (cmd_class == 10 && cmd_select == 4 && fields.size() >= 5)
        return verify(sim, join_from(fields, 4));
    if (cmd_class == 10 && cmd_select == 5 && fields.size() >= 6)
        return change(sim, fields[4], join_from(fields, 5));
    if (!inputs_ok)
        return {status_unknown};
    if (cmd_class == 0 && cmd_select == 0)
        return token_request(sim, false, input);
    if (cmd_class == 1 && cmd_select == 0)
        return token_request(sim, true, input);
    if (cmd_class == 10 && cmd_select == 3)
        return {status_ok, property_word(sim)};
    if (cmd_class == 11 && cmd_select == 0)
        return asset_tag(sim);
    return {status_unknown};
}

bool fault_matches(const Fault &fault, int cmd_class, int cmd_select, const uint32_t (&input)[4])
{
    if (fault.times == 0)
        return false;
    if (fault.cmd_class >= 0 && fault.cmd_class != cmd_class)
        return false;
    if (fault.cmd_select >= 0 && fault.cmd_select != cmd_select)
        return false;
    if (fault.token >= 0 && !((cmd_class == 0 || cmd_class == 1) && input[0] == fault.token))
        return false;
    return true;
}

Fault *take_fault(Sim &sim, int cmd_class, int cmd_select, const uint32_t (&input)[4])
{
    for (auto &fault : sim.faults) {
        if (fault_matches(fault, cmd_class, cmd_select, input)) {
            if (fault.after > 0) {
                --fault.after;
                continue;
            }
            if (fault.times > 0)
                --fault.times;
            return &fault;
        }
    }
    return nullptr;
}

std::string reply_text(const Reply &reply, const Fault *fault)
{
    const FaultKind kind = fault ? fault->kind : fault_status;
    std::string text = (fault && kind == fault_bad_header) ? "APPREAD " : "appread ";
    text += hex(reply.status);
    if (fault && kind == fault_short_answer)
        return text;
    text += ' ';
    if (fault && kind == fault_long_field) {
        char wide[48];
        snprintf(wide, sizeof wide, "%032x%08x", 0u, reply.output1);
        text += wide;
    } else {
        text += hex(reply.output1);
    }
    text += ' ';
    text += hex(reply.output2);
    text += '\n';
    return text;
}

}  // namespace

void reset(Sim &sim)
{
    const std::string model = sim.model;
    sim = Sim{};
    sim.model = model;
    for (const auto &row : settings_table)
        sim.values[row.name] = 0;
}

const char *setting_of_token(uint32_t token)
{
    if (token == 0)
        return nullptr;
    for (const auto &row : settings_table)
        for (uint32_t t : row.tokens)
            if (t == token)
                return row.name;
    return nullptr;
}

std::vector<std::string> setting_names()
{
    std::vector<std::string> names;
    for (const auto &row : settings_table)
        names.emplace_back(row.name);
    return names;
}

uint32_t property_word(const Sim &sim)
{
    if (sim.property_word >= 0)
        return static_cast<uint32_t>(sim.property_word);
    uint32_t word = sim.password_installed ? 0 : 1;
    word |= (sim.max_len & 0xff) << 8;
    word |= (sim.min_len & 0xff) << 16;
    if (sim.ascii_only)
        word |= 1u << 24;
    if (sim.alnum_only)
        word |= 1u << 25;
    return word;
}

Answer handle(Sim &sim, const char *record, size_t size)
{
    const std::string text(record, strnlen(record, size));
    sim.requests.push_back({text, size});

    const std::vector<std::string> fields = split_fields(text);
    uint32_t cmd_class = 0;
    uint32_t cmd_select = 0;
    uint32_t input[4] = {};
    bool inputs_ok = fields.size() >= 7;
    const bool header_ok = fields.size() >= 3 && fields[0] == "appwrite" && parse_hex(fields[1], &cmd_class) &&
                           parse_hex(fields[2], &cmd_select);
    for (size_t i = 0; inputs_ok && i < 4; ++i)
        inputs_ok = parse_hex(fields[3 + i], &input[i]);
    if (!header_ok)
        return {answer_text, reply_text({status_unknown}, nullptr)};

    const int c = static_cast<int>(cmd_class);
    const int s = static_cast<int>(cmd_select);
    Fault *fault = take_fault(sim, c, s, input);
    if (fault && fault->kind == fault_write_error)
        return {answer_write_error, ""};
    if (fault && fault->kind == fault_status)
        return {answer_text, reply_text({fault->status}, nullptr)};
    const Reply reply = dispatch(sim, fields, c, s, input, inputs_ok);
    if (fault && fault->kind == fault_read_error)
        return {answer_read_error, ""};
    return {answer_text, reply_text(reply, fault)};
}

}  // namespace biossim
