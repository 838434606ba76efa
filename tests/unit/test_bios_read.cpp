#include "common/reply.h"
#include "services/bios/bios_read_keys.h"
#include "test_bios_fixture.h"
#include "test_bios_json.h"

namespace {

using Strings = std::vector<std::string>;

std::string key(const char *suffix)
{
    return std::string("DeviceKORACMOS") + suffix;
}

class BiosRead : public BiosFixture {
protected:
    BiosReadResult read(const std::string &key_list) { return bios_read_keys(key_list.c_str(), BiosReadForm::get); }

    // Every auto-power mode token shares one setting in the simulator: 0 off, 1 every day,
    // 2 working days, 3 chosen days.
    void auto_power(uint32_t mode, uint32_t hour_bcd = 0x07, uint32_t minute_bcd = 0x05)
    {
        sim.values["AutoPower"] = mode;
        sim.values["AutoOnHour"] = hour_bcd;
        sim.values["AutoOnMinute"] = minute_bcd;
    }
};

TEST_F(BiosRead, ModelDefaultListIsReadInListOrder)
{
    set_model("K10X");
    sim.asset_tag = "T-42";
    sim.values["ACRecovery"] = 2;
    sim.values["Fastboot"] = 1;
    sim.values["DeepSleep"] = 4;
    sim.values["Audio"] = 1;
    const BiosReadResult result = read(bios_read_key_list());
    bool ok = false;
    const Members members = json_members(result.message, &ok);
    ASSERT_TRUE(ok) << result.message;
    EXPECT_EQ(1, result.read_status);
    EXPECT_EQ((Strings{key("EnablePassword"), key("Assettag"), key("Audio"), key("AdminLock"), key("AutoPower"),
                       key("ACRecovery"), key("USBRearPort"), key("WakeOnLan"), key("WakeOnUSB"), key("USBFrontPort"),
                       key("USBBootSupport"), key("USBFrontTopPort"), key("USBFrontTopMePort"),
                       key("USBFrontBottomMePort"), key("USBFrontBottomPort"), key("SecureBoot"),
                       key("KeyboardErrorDetection"), key("Fastboot"), key("ExtendedBIOSPostTime"), key("DeepSleep"),
                       key("PXEBootSupport")}),
              member_names(members));
    EXPECT_EQ("\"No\"", members[0].second);
    EXPECT_EQ("\"T-42\"", members[1].second);
    EXPECT_EQ("\"Yes\"", members[2].second);
    EXPECT_EQ("\"1\"", members[4].second);
    EXPECT_EQ("\"LastState\"", members[5].second);
    EXPECT_EQ("\"Thorough\"", members[17].second);
    EXPECT_EQ("\"EnabledInS4andS5\"", members[19].second);
    // Getters and by-name reads have their own spacing after the colon.
    EXPECT_NE(std::string::npos, result.message.find("\"DeviceKORACMOSAudio\":\"Yes\","));
    EXPECT_NE(std::string::npos, result.message.find("\"DeviceKORACMOSFastboot\": \"Thorough\","));
    EXPECT_EQ(21u, requests().size());  // auto-power off needs one read too
}

struct ReadCase {
    const char *name;
    std::string key_list;
    std::string message;
    int read_status;
};

class BiosReadCases : public BiosRead, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(BiosReadCases, MessageAndStatus)
{
    set_model("K20");
    sim.values["Audio"] = 1;
    sim.faults.push_back(status_fault(7, 0x2BD));  // AdminLock cannot be read
    const BiosReadResult result = read(GetParam().key_list);
    EXPECT_EQ(GetParam().message, result.message);
    EXPECT_EQ(GetParam().read_status, result.read_status);
    bool ok = false;
    json_members(result.message, &ok);
    EXPECT_TRUE(ok);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BiosReadCases,
    ::testing::Values(
        ReadCase{"BlankBetweenBracketsIsAnEmptyList", "[ ]", "{}", 0},
        ReadCase{"NotJson", "Audio", "{}", 0},
        ReadCase{"NotAnArray", "{\"DeviceKORACMOSAudio\": 1}", "{}", 0},
        ReadCase{"RebootMarkerClear", "[\"BiosChangeReboot\"]", "{\"BiosChangeReboot\":0}", 1},
        ReadCase{"FailedByNameReadLast", "[\"DeviceKORACMOSAudio\", \"DeviceKORACMOSAdminLock\"]",
                 "{\"DeviceKORACMOSAudio\":\"Yes\",\"DeviceKORACMOSAdminLock\":\"err\"}", 0},
        ReadCase{"LaterKeySetsTheStatusAgain", "[\"DeviceKORACMOSAdminLock\", \"DeviceKORACMOSAudio\"]",
                 "{\"DeviceKORACMOSAdminLock\":\"err\",\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        ReadCase{"UnknownNameReadsAsErr", "[\"DeviceKORACMOSNoSuchThing\"]", "{\"DeviceKORACMOSNoSuchThing\":\"err\"}",
                 0},
        ReadCase{"DeepSleepOutsideItsModels", "[\"DeviceKORACMOSDeepSleep\"]", "{}", 1},
        ReadCase{"UnknownKeyInTheMiddle", "[\"DeviceKORACMOSAudio\", \"Volume\", \"DeviceKORACMOSAdminLock\"]",
                 "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        ReadCase{"UnknownKeyAfterAFailedRead", "[\"DeviceKORACMOSAdminLock\", \"Volume\"]",
                 "{\"DeviceKORACMOSAdminLock\":\"err\"}", 1},
        ReadCase{"ElementNotAString", "[\"DeviceKORACMOSAudio\", 5, \"DeviceKORACMOSAdminLock\"]",
                 "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        ReadCase{"FirstElementNotAString", "[null]", "{}", 0},
        ReadCase{"PrefixRowsTakeLongerKeys", "[\"DeviceKORACMOSACRecoveryMode\"]",
                 "{\"DeviceKORACMOSACRecoveryMode\": \"PowerOff\"}", 1},
        ReadCase{"KeysAreCaseSensitive", "[\"devicekoracmosaudio\"]", "{}", 1},
        ReadCase{"KeysAreEscaped", "[\"DeviceKORACMOSAudio\\\"x\\n\"]", "{\"DeviceKORACMOSAudio\\\"x\\n\":\"err\"}",
                 0}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return info.param.name; });

TEST_F(BiosRead, RebootMarkerSetAfterASecureBootEnableOnFreshInstall)
{
    secure_boot_init_marker = SECURE_BOOT_INIT_MARK;
    ASSERT_EQ(0, bios_set_secure_boot(1, 0));
    EXPECT_EQ("{\"BiosChangeReboot\":1}", read("[\"BiosChangeReboot\"]").message);
}

struct AutoPowerCase {
    const char *name;
    uint32_t mode;
    Members members;
};

class BiosReadAutoPower : public BiosRead, public ::testing::WithParamInterface<AutoPowerCase> {};

TEST_P(BiosReadAutoPower, GroupByMode)
{
    auto_power(GetParam().mode, 0x23, 0x59);
    sim.values["AutoOnSunday"] = 1;
    sim.values["AutoOnFriday"] = 1;
    EXPECT_EQ(GetParam().members, json_members(read("[\"DeviceKORACMOSAutoPower\"]").message));
}

const std::string hour_key = "DeviceKORACMOSAutoPowerHour";
const std::string minute_key = "DeviceKORACMOSAutoPowerMin";

INSTANTIATE_TEST_SUITE_P(
    Modes, BiosReadAutoPower,
    ::testing::Values(
        AutoPowerCase{"Off", 0, {{key("AutoPower"), "\"1\""}}},
        AutoPowerCase{"EveryDay", 1, {{key("AutoPower"), "\"2\""}, {hour_key, "\"23\""}, {minute_key, "\"59\""}}},
        AutoPowerCase{"WorkingDays", 2, {{key("AutoPower"), "\"3\""}, {hour_key, "\"23\""}, {minute_key, "\"59\""}}},
        AutoPowerCase{"ChosenDays",
                      3,
                      {{key("AutoPower"), "\"4\""},
                       {hour_key, "\"23\""},
                       {minute_key, "\"59\""},
                       {"autoonSunday", "\"Yes\""},
                       {"autoonMonday", "\"No\""},
                       {"autoonTuesday", "\"No\""},
                       {"autoonWednesday", "\"No\""},
                       {"autoonThursday", "\"No\""},
                       {"autoonFriday", "\"Yes\""},
                       {"autoonSaturday", "\"No\""}}}),
    [](const ::testing::TestParamInfo<AutoPowerCase> &info) { return info.param.name; });

TEST_F(BiosRead, AnyKeyBeginningLikeAutoPowerYieldsTheWholeGroup)
{
    auto_power(1);
    EXPECT_EQ("{\"DeviceKORACMOSAutoPowerHour\": \"2\",\"DeviceKORACMOSAutoPowerHour\": \"7\","
              "\"DeviceKORACMOSAutoPowerMin\": \"5\"}",
              read("[\"DeviceKORACMOSAutoPowerHour\"]").message);
}

TEST_F(BiosRead, AutoPowerFailuresShowInTheGroup)
{
    const struct {
        uint32_t token;
        const char *value;
    } steps[] = {{0x28, "get off err"}, {0x29, "get day err"}, {0x2A, "get work err"}};
    auto_power(3);
    for (const auto &step : steps) {
        sim.faults = {status_fault(4, step.token)};
        const BiosReadResult result = read("[\"DeviceKORACMOSAutoPower\"]");
        EXPECT_EQ(std::string("{\"DeviceKORACMOSAutoPower\": \"") + step.value + "\"}", result.message);
        EXPECT_EQ(1, result.read_status);
    }
    EXPECT_EQ(3u, log.count_containing("D bios: get power err"));
}

TEST_F(BiosRead, FailedDayReadIsNotShownAsEveryDay)
{
    auto_power(3);
    sim.faults = {status_fault(4, 0x319)};  // Wednesday
    const Members members = json_members(read("[\"DeviceKORACMOSAutoPower\"]").message);
    ASSERT_EQ(10u, members.size());
    for (size_t i = 3; i < members.size(); ++i)
        EXPECT_EQ("\"err\"", members[i].second) << members[i].first;
}

TEST_F(BiosRead, LongKeyIsReadAsItsFirst63Characters)
{
    const std::string long_key = key("Fastboot") + std::string(70 - key("Fastboot").size(), 'x');
    const BiosReadResult result = read("[\"" + long_key + "\"]");
    EXPECT_EQ("{\"" + long_key.substr(0, 63) + "\": \"Minimal\"}", result.message);
    EXPECT_EQ(1u, log.count_containing("D bios: value is truncated"));
}

TEST_F(BiosRead, LongKeysFullOfEscapesStayWholeMembers)
{
    // Control characters take six bytes each once escaped; the member must not be cut.
    const std::string tail(63 - key("ACRe").size(), '\x01');
    const std::string list = "[\"" + key("ACRe") + json_escape(tail) + "\"]";
    bool ok = false;
    const Members members = json_members(read(list).message, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(1u, members.size());
    EXPECT_EQ(key("ACRe") + tail, members[0].first);
}

TEST_F(BiosRead, FullMessageStopsAtTheKeyThatDoesNotFit)
{
    std::string list = "[";
    for (int i = 0; i < 40; ++i)
        list += "\"DeviceKORACMOSAudio\",";
    list += "\"DeviceKORACMOSAudio\"]";
    const BiosReadResult result = read(list);
    const size_t member = std::string("\"DeviceKORACMOSAudio\":\"No\",").size();
    size_t count = 0;
    for (size_t at = 0; (at = result.message.find("\"DeviceKORACMOSAudio\"", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(1022 / member, count);
    EXPECT_LE(result.message.size(), BIOS_MESSAGE_MAX);
    EXPECT_EQ(1u, log.count_containing("space is not long enough \"DeviceKORACMOSAudio\":\"No\","));
    EXPECT_EQ(1022 / member, requests().size() - 1);
}

TEST(BiosReadReply, WrapsTheMessage)
{
    EXPECT_EQ("{\"result\":\"Success\", \"message\": {}}", bios_read_reply(true, "{}"));
    EXPECT_EQ("{\"result\":\"FAILED\", \"message\": \"x\"}", bios_read_reply(false, "\"x\""));
}

}  // namespace
