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
    sim.values["Audio"] = 1;
    const char *list = bios_read_key_list();
    const BiosReadResult result = read(list);
    bool ok = false;
    const Members members = json_members(result.message, &ok);
    ASSERT_TRUE(ok) << result.message;
    EXPECT_EQ(1, result.read_status);
    // Every key of the list once, in list order: password state and asset tag first.
    EXPECT_EQ(json_strings(list), member_names(members));
    EXPECT_EQ(21u, members.size());
    EXPECT_EQ((Members{{key("EnablePassword"), "\"No\""}, {key("Assettag"), "\"T-42\""}, {key("Audio"), "\"Yes\""}}),
              Members(members.begin(), members.begin() + 3));
    EXPECT_EQ("\"LastState\"", members[5].second);
    // Getters and by-name reads have their own spacing after the colon.
    EXPECT_NE(std::string::npos, result.message.find("\"DeviceKORACMOSAudio\":\"Yes\","));
    EXPECT_NE(std::string::npos, result.message.find("\"DeviceKORACMOSFastboot\": \"Thorough\","));
    EXPECT_EQ(21u, requests().size());  // auto-power off needs one read too
}

TEST_F(BiosRead, MessageAndStatusPerKeyList)
{
    const struct {
        std::string key_list;
        std::string message;
        int read_status;
    } cases[] = {
        {"[ ]", "{}", 0},
        {"Audio", "{}", 0},
        {"{\"DeviceKORACMOSAudio\": 1}", "{}", 0},
        {"[\"BiosChangeReboot\"]", "{\"BiosChangeReboot\":0}", 1},
        // A failed by-name read decides the status only while no later key reads.
        {"[\"DeviceKORACMOSAudio\", \"DeviceKORACMOSAdminLock\"]",
         "{\"DeviceKORACMOSAudio\":\"Yes\",\"DeviceKORACMOSAdminLock\":\"err\"}", 0},
        {"[\"DeviceKORACMOSAdminLock\", \"DeviceKORACMOSAudio\"]",
         "{\"DeviceKORACMOSAdminLock\":\"err\",\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[\"DeviceKORACMOSNoSuchThing\"]", "{\"DeviceKORACMOSNoSuchThing\":\"err\"}", 0},
        {"[\"DeviceKORACMOSDeepSleep\"]", "{}", 1},  // not on this model
        // An unknown key or a non-string element ends the list.
        {"[\"DeviceKORACMOSAudio\", \"Volume\", \"DeviceKORACMOSAdminLock\"]", "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[\"DeviceKORACMOSAdminLock\", \"Volume\"]", "{\"DeviceKORACMOSAdminLock\":\"err\"}", 1},
        {"[\"DeviceKORACMOSAudio\", 5, \"DeviceKORACMOSAdminLock\"]", "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[null]", "{}", 0},
        {"[\"DeviceKORACMOSACRecoveryMode\"]", "{\"DeviceKORACMOSACRecoveryMode\": \"PowerOff\"}", 1},
        {"[\"devicekoracmosaudio\"]", "{}", 1},
        {"[\"DeviceKORACMOSAudio\\\"x\\n\"]", "{\"DeviceKORACMOSAudio\\\"x\\n\":\"err\"}", 0},
    };
    set_model("K20");
    sim.values["Audio"] = 1;
    sim.faults.push_back(status_fault(7, 0x2BD));  // AdminLock cannot be read
    for (const auto &c : cases) {
        const BiosReadResult result = read(c.key_list);
        EXPECT_EQ(c.message, result.message) << c.key_list;
        EXPECT_EQ(c.read_status, result.read_status) << c.key_list;
        bool ok = false;
        json_members(result.message, &ok);
        EXPECT_TRUE(ok) << c.key_list;
    }
}

TEST_F(BiosRead, RebootMarkerSetAfterASecureBootEnableOnFreshInstall)
{
    secure_boot_init_marker = secure_boot_init_mark;
    ASSERT_EQ(0, bios_set_secure_boot(1, 0));
    EXPECT_EQ("{\"BiosChangeReboot\":1}", read("[\"BiosChangeReboot\"]").message);
}

TEST_F(BiosRead, AutoPowerGroupByMode)
{
    const std::string hour = key("AutoPowerHour"), minute = key("AutoPowerMin");
    Members chosen = {{key("AutoPower"), "\"4\""}, {hour, "\"23\""}, {minute, "\"59\""}};
    for (const char *day : {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
        chosen.emplace_back(std::string("autoon") + day, day[0] == 'S' && day[1] == 'u' ? "\"Yes\"" : "\"No\"");
    chosen[8].second = "\"Yes\"";  // Friday
    const Members expected[] = {
        {{key("AutoPower"), "\"1\""}},
        {{key("AutoPower"), "\"2\""}, {hour, "\"23\""}, {minute, "\"59\""}},
        {{key("AutoPower"), "\"3\""}, {hour, "\"23\""}, {minute, "\"59\""}},
        chosen,
    };
    sim.values["AutoOnSunday"] = 1;
    sim.values["AutoOnFriday"] = 1;
    for (uint32_t mode = 0; mode < 4; ++mode) {
        auto_power(mode, 0x23, 0x59);
        EXPECT_EQ(expected[mode], json_members(read("[\"DeviceKORACMOSAutoPower\"]").message)) << mode;
    }
}

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
    EXPECT_LE(result.message.size(), bios_message_max);
    EXPECT_EQ(1u, log.count_containing("space is not long enough \"DeviceKORACMOSAudio\":\"No\","));
    EXPECT_EQ(1022 / member, requests().size() - 1);
}

TEST(BiosReadReply, WrapsTheMessage)
{
    EXPECT_EQ("{\"result\":\"Success\", \"message\": {}}", reply_read(true, "{}"));
    EXPECT_EQ("{\"result\":\"FAILED\", \"message\": \"x\"}", reply_read(false, "\"x\""));
}

}  // namespace
