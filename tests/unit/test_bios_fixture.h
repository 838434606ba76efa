// BIOS tests run the access layer against the simulator library, in-process, through the
// SMI transport seam. Every test starts from a fresh simulator and fresh process buffers.
#pragma once

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <tuple>

#include "biossim.h"
#include "common/error.h"
#include "common/reply.h"
#include "host/smi_file.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_read_keys.h"
#include "services/bios/bios_state.h"
#include "services/bios/smi_transport.h"
#include "test_support.h"

using Strings = std::vector<std::string>;

// `text` with every "@" replaced by "DeviceKORACMOS", the prefix of the setting keys.
inline std::string cmos(std::string text)
{
    for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, "DeviceKORACMOS");
    return text;
}

class BiosFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        biossim::reset(sim);
        active = this;
        smi_file_set_exchange_for_tests(&BiosFixture::exchange);
        state = {};
    }
    void TearDown() override { smi_file_set_exchange_for_tests(nullptr); }  // the real exchange again

    void set_model(const char *model) { g_strlcpy(state.model, model, sizeof state.model); }
    void install_password(const char *password)
    {
        sim.password_installed = true;
        sim.password = password;
    }
    // The request texts the simulator received that begin with `prefix`, in order.
    Strings requests(const std::string &prefix = "") const
    {
        Strings texts;
        for (const auto &request : sim.requests)
            if (request.text.rfind(prefix, 0) == 0)
                texts.push_back(request.text);
        return texts;
    }
    // The token writes, each as "<token> <value> <security key>" in hex.
    Strings writes() const
    {
        Strings texts;
        for (const auto &text : requests("appwrite 1 0 "))
            texts.push_back(text.substr(13, text.size() - 16));  // without the last input and the line end
        return texts;
    }

    BiosState &state = bios_service_state();
    biossim::Sim sim;
    LogCapture log;
    // Where the last request record is, to look at it after the exchange.
    const char *record = nullptr;
    size_t record_size = 0;

private:
    static bool exchange(const char *, const void *record, size_t size, char *answer, size_t answer_size,
                         size_t *answer_len, GError **error)
    {
        const biossim::Answer reply = biossim::handle(active->sim, static_cast<const char *>(record), size);
        active->record = static_cast<const char *>(record);
        active->record_size = size;
        if (reply.kind != biossim::answer_text) {
            g_set_error_literal(error, CORVO_ERROR,
                                reply.kind == biossim::answer_read_error ? CORVO_ERROR_READ_FAILED
                                                                         : CORVO_ERROR_WRITE_FAILED,
                                g_strerror(EIO));
            return false;
        }
        *answer_len = std::min(reply.text.size(), answer_size);
        memcpy(answer, reply.text.data(), *answer_len);
        return true;
    }
    static inline BiosFixture *active = nullptr;
};

// A model's key list as the text of a JSON array of keys; "" when the model has none.
inline std::string key_list_text(const BiosKeyList &list)
{
    return list.suffixes ? bios_keys_text(bios_keys_of(list)) : "";
}

// The member names of a JSON object text in order, as a JSON array text like the key lists.
inline std::string member_names(const std::string &object_text)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    std::string names;
    JsonObjectIter iter;
    const char *name = nullptr;
    if (json_parser_load_from_data(parser, object_text.c_str(), -1, nullptr) &&
        JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser)))
        for (json_object_iter_init_ordered(&iter, json_node_get_object(json_parser_get_root(parser)));
             json_object_iter_next_ordered(&iter, &name, nullptr);)
            names += (names.empty() ? "" : ", ") + json_quote(name);
    return "[" + names + "]";
}
