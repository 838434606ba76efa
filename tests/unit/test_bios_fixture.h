// BIOS tests run the access layer against the simulator library, in-process, through the
// SMI transport seam. Every test starts from a fresh simulator and fresh process buffers.
#pragma once

#include <cstring>
#include <gtest/gtest.h>
#include <json-glib/json-glib.h>

#include "biossim.h"
#include "host/smi_file.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
#include "services/bios/smi_transport.h"
#include "test_support.h"

using Strings = std::vector<std::string>;
using Members = std::vector<std::pair<std::string, std::string>>;

// A token write as the BIOS receives it.
inline std::string token_write(uint32_t token, uint32_t value, uint32_t key = 0)
{
    g_autofree char *text = g_strdup_printf("appwrite 1 0 %x %x %x 0\n", token, value, key);
    return text;
}

class BiosFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        biossim::reset(sim);
        active = this;
        previous = smi_file_set_exchange_for_tests(&BiosFixture::exchange);
        smi_buffers_init();
        set_model("");
        secure_boot_init_marker = 0;
        bios_change_reboot_flag = 0;
    }
    void TearDown() override { smi_file_set_exchange_for_tests(previous); }

    void set_model(const char *model) { g_strlcpy(bios_model_name, model, sizeof bios_model_name); }
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
    Strings writes() const { return requests("appwrite 1 "); }

    biossim::Sim sim;
    LogCapture log;
    // Where the last request record is, to look at it after the exchange.
    const char *record = nullptr;
    size_t record_size = 0;

private:
    static SmiFileResult exchange(const char *, const void *record, size_t size, char *answer, size_t answer_size)
    {
        const biossim::Answer reply = biossim::handle(active->sim, static_cast<const char *>(record), size);
        active->record = static_cast<const char *>(record);
        active->record_size = size;
        if (reply.kind != biossim::ANSWER_TEXT)
            return {reply.kind == biossim::ANSWER_READ_ERROR ? SmiFileStatus::read_failed : SmiFileStatus::write_failed,
                    EIO, 0};
        const size_t n = std::min(reply.text.size(), answer_size);
        memcpy(answer, reply.text.data(), n);
        return {SmiFileStatus::ok, 0, n};
    }
    static inline BiosFixture *active = nullptr;
    SmiFileExchange previous = nullptr;
};

// The members of a JSON object text in order, each value as compact JSON; the elements of a
// JSON array of strings as members named by them. Empty when the text is neither.
inline Members json_members(const std::string &text)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    Members members;
    if (!json_parser_load_from_data(parser, text.c_str(), -1, nullptr))
        return members;
    JsonNode *root = json_parser_get_root(parser);
    if (JSON_NODE_HOLDS_ARRAY(root))
        for (guint i = 0; i < json_array_get_length(json_node_get_array(root)); ++i)
            members.emplace_back(json_array_get_string_element(json_node_get_array(root), i), "");
    JsonObjectIter iter;
    const char *name = nullptr;
    JsonNode *value = nullptr;
    if (JSON_NODE_HOLDS_OBJECT(root))
        for (json_object_iter_init_ordered(&iter, json_node_get_object(root));
             json_object_iter_next_ordered(&iter, &name, &value);) {
            g_autofree char *compact = json_to_string(value, FALSE);
            members.emplace_back(name, compact);
        }
    return members;
}

inline Strings names_of(const Members &members)
{
    Strings names;
    for (const auto &member : members)
        names.push_back(member.first);
    return names;
}
