// SMI transport: requests to the BIOS through the platform management driver's request
// file. A caller names the request and gets back what the BIOS answered; each request is
// built, sent and wiped within one call on the main-loop thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What the BIOS answered to one request.
struct SmiAnswer {
    bool exchanged = false;   // an answer with a valid header was read
    uint32_t output[3] = {};  // the BIOS status (0: success), then result words; absent fields are 0

    bool ok() const { return exchanged && output[0] == 0; }
    uint32_t status() const { return output[0]; }
    uint32_t value() const { return output[1]; }
};

// Request classes and selects the daemon uses.
namespace smi_class {
constexpr uint16_t token_read = 0;
constexpr uint16_t token_write = 1;
constexpr uint16_t password = 10;
constexpr uint16_t asset_tag = 11;
}  // namespace smi_class
namespace smi_select {
constexpr uint16_t password_properties = 3;
constexpr uint16_t password_verify = 4;
constexpr uint16_t password_change = 5;
}  // namespace smi_select

// The longest password text the request buffers hold (with room for its end).
constexpr size_t smi_password_max = 127;

// Sends a request of the general form (class, select and four inputs).
SmiAnswer smi_request(uint16_t cmd_class, uint16_t cmd_select, uint32_t input0 = 0, uint32_t input1 = 0,
                      uint32_t input2 = 0, uint32_t input3 = 0);

// The two token forms. On an exchange failure the status reads 0.
SmiAnswer smi_token_read(uint32_t token, uint32_t argument = 0);
SmiAnswer smi_token_write(uint32_t token, uint32_t value, uint32_t security_key);

// A token write whose failure is logged as "<fail_text> <BIOS status>" (nothing when
// `fail_text` is nullptr). True when the BIOS took it.
bool smi_token_write_logged(uint32_t token, uint32_t value, uint32_t security_key, const char *fail_text);

// A token read whose failure is logged the same way; the value read, or nothing.
std::optional<uint32_t> smi_token_read_logged(uint32_t token, uint32_t argument, const char *fail_text);

// The password forms: `max_len` is the BIOS's longest password, sent with the request. The
// texts are cut to smi_password_max; the request text is wiped once it went out.
SmiAnswer smi_password_verify(const char *password, int max_len);
SmiAnswer smi_password_change(const char *password, const char *new_password, int max_len);

// Parses the driver's answer text into `output` (fields not in the answer keep their value).
// 0 when the header is valid, -1 (logged, outputs untouched) otherwise.
int smi_parse_answer(const char *answer, uint32_t (&output)[3]);
