// SMI transport: the one request record of the process and its exchange through the
// platform management driver's request file.
//
// A caller clears the record, fills class, select and inputs, calls smi_send_request and
// then reads output[0] (the BIOS status, 0 = success) and the result words. Everything runs
// on the main-loop thread; smi_lock only serialises the file exchange itself.
#pragma once

#include <cstddef>
#include <cstdint>

struct SmiRequest {
    uint16_t cmd_class;
    uint16_t cmd_select;
    uint32_t input[4];
    uint32_t output[4];  // only output[0..2] are ever filled from an answer
    uint8_t data[2052];  // never sent; read only as the tail of the asset tag
};
static_assert(sizeof(SmiRequest) == 2088, "the driver's record layout");

constexpr size_t BIOS_PASSWORD_SIZE = 128;

extern SmiRequest smi_request;
extern char bios_password_current[BIOS_PASSWORD_SIZE];
extern char bios_password_new[BIOS_PASSWORD_SIZE];
extern int bios_password_max_len;

// Request classes and selects the daemon uses.
enum : uint16_t {
    SMI_CLASS_TOKEN_READ = 0,
    SMI_CLASS_TOKEN_WRITE = 1,
    SMI_CLASS_PASSWORD = 10,
    SMI_CLASS_ASSET_TAG = 11,
    SMI_SELECT_PASSWORD_PROPERTIES = 3,
    SMI_SELECT_PASSWORD_VERIFY = 4,
    SMI_SELECT_PASSWORD_CHANGE = 5,
};

// Zero-fills the record, the password buffers and the length limit.
void smi_buffers_init();

// Every byte of the record zero.
void smi_request_clear();

// Wipes the password buffers in a way the compiler cannot leave out.
void smi_passwords_clear();

// Sends the record and parses the answer into output[0..2]. 0 when an answer with a valid
// header was read, -1 otherwise (logged). Does not judge output[0].
int smi_send_request();

// Parses the driver's answer text into output[0..2] (fields not in the answer keep their
// value). 0 when the header is valid, -1 (logged, outputs untouched) otherwise.
int smi_parse_answer(const char *answer);

// The two standard forms: clear the record, fill it, send. True when the exchange worked
// and the BIOS status is 0; on false, output[0] holds the status (0 if the exchange failed).
bool smi_token_read(uint32_t token, uint32_t argument = 0);
bool smi_token_write(uint32_t token, uint32_t value, uint32_t security_key);

// Copies `text` into a password buffer, cut to fit with its NUL.
void smi_password_copy(char *buffer, const char *text);
