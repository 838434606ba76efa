#include "services/bios/smi_transport.h"

#include <cstring>
#include <glib.h>
#include <string>

#include "common/error.h"
#include "common/log.h"
#include "host/host_root.h"
#include "host/smi_file.h"

namespace {

// One request as the daemon builds it; the password texts only for the password forms.
struct SmiRecord {
    uint16_t cmd_class;
    uint16_t cmd_select;
    uint32_t input[4];
    const char *password = "";
    const char *new_password = "";
    int max_len = 0;
};

constexpr const char *smi_request_file = "/compat/linux/sys/devices/platform/smbase/smi_request";

// The driver reads a fixed-size record per form, whatever the length of the text in it.
constexpr size_t record_general = 177;
constexpr size_t record_verify = 193;
constexpr size_t record_change = 321;
constexpr size_t answer_max = 256;
constexpr size_t field_size = 32;

// The bytes the driver receives, a password among them; wiped after every exchange.
char request_text[record_change];

// Builds the request text of `r` (zero-filled, NUL-terminated, passwords cut to
// smi_password_max) and returns the number of bytes the driver expects for this form.
size_t build_record(const SmiRecord &r, char (&record)[record_change])
{
    memset(record, 0, sizeof record);
    const unsigned max_len = static_cast<unsigned>(r.max_len);
    if (r.cmd_class == smi_class::password && r.cmd_select == smi_select::password_verify) {
        g_snprintf(record, record_verify, "appwrite %x %x %x %.127s", r.cmd_class, r.cmd_select, max_len, r.password);
        return record_verify;
    }
    if (r.cmd_class == smi_class::password && r.cmd_select == smi_select::password_change) {
        g_snprintf(record, record_change, "appwrite %x %x %x %.127s %.127s", r.cmd_class, r.cmd_select, max_len,
                   r.password, r.new_password);
        return record_change;
    }
    g_snprintf(record, record_general, "appwrite %x %x %x %x %x %x\n", r.cmd_class, r.cmd_select, r.input[0],
               r.input[1], r.input[2], r.input[3]);
    return record_general;
}

bool is_hex_digit(char c)
{
    return g_ascii_isxdigit(c);
}

// Leading blanks, a sign and a "0x" prefix are accepted; parsing stops at the first
// character that is not a hex digit. The result keeps the low 32 bits of the number.
uint32_t parse_hex_low32(const char *text)
{
    while (g_ascii_isspace(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && is_hex_digit(text[2]))
        text += 2;
    uint32_t value = 0;
    for (; is_hex_digit(*text); ++text)
        value = (value << 4) | static_cast<uint32_t>(g_ascii_xdigit_value(*text));
    return negative ? 0u - value : value;
}

}  // namespace

// Fields are separated by single blanks: two blanks in a row give an empty field.
int smi_parse_answer(const char *answer, uint32_t (&output)[3])
{
    const char *blank = strchr(answer, ' ');
    const size_t header_len = blank ? static_cast<size_t>(blank - answer) : strlen(answer);
    if (header_len != strlen("appread") || strncmp(answer, "appread", header_len) != 0) {
        wlog('D', log_tag::bios, "read header error\n");
        return -1;
    }
    const char *field = blank ? blank + 1 : nullptr;
    for (int i = 0; i < 3 && field; ++i) {
        const char *end = strchr(field, ' ');
        const size_t len = end ? static_cast<size_t>(end - field) : strlen(field);
        char work[field_size] = {};
        if (len >= field_size)
            log_truncated("bios", __LINE__, std::string_view(field, len));
        memcpy(work, field, len < field_size ? len : field_size - 1);
        output[i] = parse_hex_low32(work);
        wlog('D', log_tag::bios, "output%d is %x\n", i, output[i]);
        field = end ? end + 1 : nullptr;
    }
    return 0;
}

namespace {

// Sends the record and parses the answer. Holds the file for the whole exchange.
SmiAnswer send_record(const SmiRecord &record)
{
    const size_t record_size = build_record(record, request_text);

    char answer[answer_max + 1] = {};
    const std::string path = host_path(smi_request_file);
    size_t answer_len = 0;
    g_autoptr(GError) error = nullptr;
    const bool exchanged =
        smi_file_exchange(path.c_str(), request_text, record_size, answer, answer_max, &answer_len, &error);
    // A password request carries the password text; it does not stay in memory after use.
    explicit_bzero(request_text, sizeof request_text);
    if (!exchanged) {
        if (g_error_matches(error, CORVO_ERROR, CORVO_ERROR_OPEN_FAILED)) {
            wlog('D', log_tag::bios, "smi request write open file fail \n");
            wlog('D', log_tag::bios, "error is %s\n", error->message);
        } else if (g_error_matches(error, CORVO_ERROR, CORVO_ERROR_WRITE_FAILED)) {
            wlog('D', log_tag::bios, "smi write file error is %s\n", error->message);
        } else {
            wlog('D', log_tag::bios, "smi read file error is %s\n", error->message);
        }
        return {};
    }
    answer[answer_len < answer_max ? answer_len : answer_max] = '\0';
    SmiAnswer parsed;
    parsed.exchanged = smi_parse_answer(answer, parsed.output) == 0;
    return parsed;
}

}  // namespace

SmiAnswer smi_request(uint16_t cmd_class, uint16_t cmd_select, uint32_t input0, uint32_t input1, uint32_t input2,
                      uint32_t input3)
{
    return send_record({cmd_class, cmd_select, {input0, input1, input2, input3}});
}

SmiAnswer smi_token_read(uint32_t token, uint32_t argument)
{
    return smi_request(smi_class::token_read, 0, token, argument);
}

SmiAnswer smi_token_write(uint32_t token, uint32_t value, uint32_t security_key)
{
    return smi_request(smi_class::token_write, 0, token, value, security_key);
}

namespace {

void log_failure(const char *fail_text, const SmiAnswer &answer)
{
    if (fail_text)
        wlog('D', log_tag::bios, "%s %d\n", fail_text, static_cast<int>(answer.status()));
}

}  // namespace

bool smi_token_write_logged(uint32_t token, uint32_t value, uint32_t security_key, const char *fail_text)
{
    const SmiAnswer answer = smi_token_write(token, value, security_key);
    if (!answer.ok())
        log_failure(fail_text, answer);
    return answer.ok();
}

std::optional<uint32_t> smi_token_read_logged(uint32_t token, uint32_t argument, const char *fail_text)
{
    const SmiAnswer answer = smi_token_read(token, argument);
    if (!answer.ok()) {
        log_failure(fail_text, answer);
        return std::nullopt;
    }
    return answer.value();
}

SmiAnswer smi_password_verify(const char *password, int max_len)
{
    return send_record({smi_class::password, smi_select::password_verify, {}, password ? password : "", "", max_len});
}

SmiAnswer smi_password_change(const char *password, const char *new_password, int max_len)
{
    return send_record({smi_class::password,
                        smi_select::password_change,
                        {},
                        password ? password : "",
                        new_password ? new_password : "",
                        max_len});
}
