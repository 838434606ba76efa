#include "services/bios/smi_transport.h"

#include <cerrno>
#include <cstring>
#include <glib.h>
#include <string>

#include "common/log.h"
#include "host/host_root.h"
#include "host/smi_file.h"

SmiRequest smi_request;
char bios_password_current[BIOS_PASSWORD_SIZE];
char bios_password_new[BIOS_PASSWORD_SIZE];
int bios_password_max_len;

namespace {

GMutex smi_lock;

constexpr const char *SMI_REQUEST_FILE = "/compat/linux/sys/devices/platform/smbase/smi_request";

// The driver reads a fixed-size record per form, whatever the length of the text in it.
constexpr size_t RECORD_GENERAL = 177;
constexpr size_t RECORD_VERIFY = 193;
constexpr size_t RECORD_CHANGE = 321;
constexpr size_t ANSWER_MAX = 256;
constexpr size_t FIELD_SIZE = 32;

// The request text as the driver reads it. Process-wide like the request it is made from.
char smi_record[RECORD_CHANGE];

struct SmiLockGuard {
    SmiLockGuard() { g_mutex_lock(&smi_lock); }
    ~SmiLockGuard() { g_mutex_unlock(&smi_lock); }
    SmiLockGuard(const SmiLockGuard &) = delete;
    SmiLockGuard &operator=(const SmiLockGuard &) = delete;
};

// Builds the request text into `record` (zero-filled, NUL-terminated) and returns the number
// of bytes the driver expects for this form.
size_t build_record(char (&record)[RECORD_CHANGE])
{
    memset(record, 0, sizeof record);
    const SmiRequest &r = smi_request;
    if (r.cmd_class == SMI_CLASS_PASSWORD && r.cmd_select == SMI_SELECT_PASSWORD_VERIFY) {
        g_snprintf(record, RECORD_VERIFY, "appwrite %x %x %x %s", r.cmd_class, r.cmd_select,
                   static_cast<unsigned>(bios_password_max_len), bios_password_current);
        return RECORD_VERIFY;
    }
    if (r.cmd_class == SMI_CLASS_PASSWORD && r.cmd_select == SMI_SELECT_PASSWORD_CHANGE) {
        g_snprintf(record, RECORD_CHANGE, "appwrite %x %x %x %s %s", r.cmd_class, r.cmd_select,
                   static_cast<unsigned>(bios_password_max_len), bios_password_current, bios_password_new);
        return RECORD_CHANGE;
    }
    g_snprintf(record, RECORD_GENERAL, "appwrite %x %x %x %x %x %x\n", r.cmd_class, r.cmd_select, r.input[0],
               r.input[1], r.input[2], r.input[3]);
    return RECORD_GENERAL;
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

const char *const output_messages[] = {"output0 is %x\n", "output1 is %x\n", "output2 is %x\n"};

}  // namespace

// Fields are separated by single blanks: two blanks in a row give an empty field.
int smi_parse_answer(const char *answer)
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
        char work[FIELD_SIZE] = {};
        if (len >= FIELD_SIZE)
            log_truncated("bios", __LINE__, std::string_view(field, len));
        memcpy(work, field, len < FIELD_SIZE ? len : FIELD_SIZE - 1);
        smi_request.output[i] = parse_hex_low32(work);
        wlog('D', log_tag::bios, output_messages[i], smi_request.output[i]);
        field = end ? end + 1 : nullptr;
    }
    return 0;
}

void smi_buffers_init()
{
    smi_request_clear();
    smi_passwords_clear();
    bios_password_max_len = 0;
}

void smi_passwords_clear()
{
    explicit_bzero(bios_password_current, sizeof bios_password_current);
    explicit_bzero(bios_password_new, sizeof bios_password_new);
}

void smi_request_clear()
{
    memset(&smi_request, 0, sizeof smi_request);
}

int smi_send_request()
{
    SmiLockGuard lock;
    const size_t record_size = build_record(smi_record);

    char answer[ANSWER_MAX + 1] = {};
    const std::string path = host_path(SMI_REQUEST_FILE);
    const SmiFileResult result = smi_file_exchange(path.c_str(), smi_record, record_size, answer, ANSWER_MAX);
    // A password request carries the password text; it does not stay in memory after use.
    explicit_bzero(smi_record, sizeof smi_record);
    switch (result.status) {
    case SMI_FILE_OPEN_FAILED:
        wlog('D', log_tag::bios, "smi request write open file fail \n");
        wlog('D', log_tag::bios, "error is %s\n", g_strerror(result.error));
        return -1;
    case SMI_FILE_WRITE_FAILED:
        wlog('D', log_tag::bios, "smi write file error is %s\n", g_strerror(result.error));
        return -1;
    case SMI_FILE_READ_FAILED:
        wlog('D', log_tag::bios, "smi read file error is %s\n", g_strerror(result.error));
        return -1;
    case SMI_FILE_OK:
        break;
    }
    answer[result.answer_len < ANSWER_MAX ? result.answer_len : ANSWER_MAX] = '\0';
    return smi_parse_answer(answer);
}

bool smi_token_read(uint32_t token, uint32_t argument)
{
    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_TOKEN_READ;
    smi_request.cmd_select = 0;
    smi_request.input[0] = token;
    smi_request.input[1] = argument;
    return smi_send_request() == 0 && smi_request.output[0] == 0;
}

bool smi_token_write(uint32_t token, uint32_t value, uint32_t security_key)
{
    smi_request_clear();
    smi_request.cmd_class = SMI_CLASS_TOKEN_WRITE;
    smi_request.cmd_select = 0;
    smi_request.input[0] = token;
    smi_request.input[1] = value;
    smi_request.input[2] = security_key;
    return smi_send_request() == 0 && smi_request.output[0] == 0;
}

void smi_password_copy(char *buffer, const char *text)
{
    g_strlcpy(buffer, text ? text : "", BIOS_PASSWORD_SIZE);
}
