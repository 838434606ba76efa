#include "test_bios_fixture.h"

namespace {

using BiosTransport = BiosFixture;

TEST_F(BiosTransport, AnswerFieldsAreHexAndAnOverLongOneIsCutTo31CharactersAndLogged)
{
    uint32_t output[3] = {7, 7, 7};
    EXPECT_EQ(0, smi_parse_answer("appread  a 0x1F", output));  // two blanks: an empty field
    EXPECT_EQ(0u, output[0]);
    EXPECT_EQ(0xAu, output[1]);
    EXPECT_EQ(0x1Fu, output[2]);
    sim.values["ACRecovery"] = 0x12345678;
    sim.faults = {{.kind = biossim::FAULT_LONG_FIELD}};
    EXPECT_EQ(0u, smi_token_read(0xA3).value());  // 40 digits, the value in the last 8: the 31 kept are zeros
    EXPECT_EQ(1u, log.count("length error, truncated!"));
}

}  // namespace
