#include "test_bios_fixture.h"

namespace {

class BiosTransport : public BiosFixture {};

TEST_F(BiosTransport, RecordsHaveTheirFormAndSizeAndAPasswordRecordIsWipedOnceSent)
{
    smi_token_read(0xA3);
    smi_password_verify("my \"pass\" word", 32);
    smi_password_change("my \"pass\" word", "new", 32);
    EXPECT_EQ(std::string(record_size, '\0'), std::string(record, record_size));
    smi_request(smi_class::token_write, 0, 0x34F, 1, 0xdeadbeef, 7);
    const std::vector<std::pair<std::string, size_t>> expected = {{"appwrite 0 0 a3 0 0 0\n", 177},
                                                                  {"appwrite a 4 20 my \"pass\" word", 193},
                                                                  {"appwrite a 5 20 my \"pass\" word new", 321},
                                                                  {"appwrite 1 0 34f 1 deadbeef 7\n", 177}};
    std::vector<std::pair<std::string, size_t>> sent;
    for (const auto &request : sim.requests)
        sent.emplace_back(request.text, request.size);
    EXPECT_EQ(expected, sent);
}

TEST_F(BiosTransport, AnswerFieldsAreHexAndAnOverLongOneIsCutTo31CharactersAndLogged)
{
    uint32_t output[3] = {7, 7, 7};
    EXPECT_EQ(0, smi_parse_answer("appread  a 0x1F 9", output));  // two blanks: an empty field
    EXPECT_EQ(0u, output[0]);
    EXPECT_EQ(0xAu, output[1]);
    EXPECT_EQ(0x1Fu, output[2]);

    sim.values["ACRecovery"] = 0x12345678;
    sim.faults = {{.kind = biossim::FAULT_LONG_FIELD}};
    const SmiAnswer answer = smi_token_read(0xA3);
    EXPECT_TRUE(answer.ok());
    EXPECT_EQ(0u, answer.value());  // 40 digits, the value in the last 8: the 31 kept are zeros
    EXPECT_EQ(1u, log.count("length error, truncated!"));
}

}  // namespace
