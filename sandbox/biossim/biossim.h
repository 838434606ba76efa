// BIOS simulator: plays the platform driver's side of the SMI text protocol, so the daemon
// can be tested without the hardware. Unit tests call it in-process through the transport
// seam; corvo-biossim mounts it as the smi_request file with FUSE.
//
// The request is the text the daemon writes ("appwrite <class> <select> ..."), the answer
// the text the next read returns ("appread <status> <output1> <output2>\n").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace biossim {

// BIOS status words the simulator answers with.
constexpr uint32_t status_ok = 0;
constexpr uint32_t status_unknown = 1;  // unknown token, class or malformed request
constexpr uint32_t status_denied = 2;   // wrong security key or password
constexpr uint32_t status_refused = 3;  // new password breaks the rules

enum FaultKind {
    fault_status,        // answer `status`; the request has no effect
    fault_bad_header,    // answer starts with "APPREAD"
    fault_long_field,    // output1 is sent as 40 hex digits (32 zeros, then the value)
    fault_short_answer,  // answer ends after the status field
    fault_read_error,    // the read after the write fails with EIO
    fault_write_error,   // the write fails with EIO; the request has no effect
};

struct Fault {
    FaultKind kind = fault_status;
    int64_t token = -1;   // token reads and writes of this token only; -1: any request
    int cmd_class = -1;   // -1: any
    int cmd_select = -1;  // -1: any
    uint32_t status = status_unknown;
    int after = 0;   // matching requests let through before it hits
    int times = -1;  // how many requests it hits; -1: all
};

struct Request {
    std::string text;  // up to the first NUL
    size_t size;       // bytes written
};

struct Sim {
    std::string model;
    std::map<std::string, uint32_t> values;  // setting name -> value
    bool password_installed = false;
    std::string password;
    uint32_t security_key = 0x1234abcd;
    unsigned min_len = 1;
    unsigned max_len = 32;
    bool ascii_only = true;
    bool alnum_only = false;
    int64_t property_word = -1;  // >= 0: answered instead of the word made from the rules
    std::string asset_tag;
    std::vector<Fault> faults;
    std::vector<Request> requests;
};

enum AnswerKind { answer_text, answer_read_error, answer_write_error };

struct Answer {
    AnswerKind kind = answer_text;
    std::string text;
};

// Every setting 0, no password, default rules, no faults, empty log.
void reset(Sim &sim);

// Handles one written record (`size` bytes, text up to the first NUL) and logs it.
Answer handle(Sim &sim, const char *record, size_t size);

// The setting a token belongs to, or nullptr.
const char *setting_of_token(uint32_t token);

// Names of every setting the simulator knows, in table order.
std::vector<std::string> setting_names();

// Password property word as the BIOS reports it.
uint32_t property_word(const Sim &sim);

// State as JSON: {"model", "settings": {name: value}, "password" (null when none),
// "password_rules": {"min", "max", "ascii", "alnum"}, "property_word" (null unless forced),
// "security_key", "asset_tag", "faults": [...]}.
std::string to_json(const Sim &sim);

// The request log as a JSON array of {"text", "size"}.
std::string log_to_json(const Sim &sim);

// Merges a JSON object of the to_json form into the state (keys left out are kept; "faults"
// replaces the list; "clear_log": true empties the log). False with `error` set on bad input,
// and the state is then unchanged.
bool apply_json(Sim &sim, const std::string &json, std::string *error);

}  // namespace biossim
