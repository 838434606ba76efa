#include <algorithm>

#include "common/reply.h"
#include "services/bios/bios_read_keys.h"
#include "services/bios/ext_bios.h"
#include "test_bios_fixture.h"

namespace {

class BiosRead : public BiosFixture {
protected:
    BiosReadResult read(const std::string &key_list) { return bios_read_keys(key_list.c_str(), BiosReadForm::get); }
    // Every auto-power mode token shares one setting in the simulator: 0 off, 1 every day,
    // 2 working days, 3 chosen days.
    void auto_power(uint32_t mode)
    {
        sim.values["AutoPower"] = mode;
        sim.values["AutoOnHour"] = 0x23;
        sim.values["AutoOnMinute"] = 0x59;
        sim.values["AutoOnFriday"] = 1;
    }
    std::string extract_to(const std::string &path)
    {
        return ext_bios_reply(("{\"DeviceKORACMOSExtractFilePath\": \"" + path + "\"}").c_str());
    }
    const std::string time = "\"DeviceKORACMOSAutoPowerHour\": \"23\",\"DeviceKORACMOSAutoPowerMin\": \"59\"";
    const std::string days = "\"autoonSunday\":\"No\",\"autoonMonday\":\"No\",\"autoonTuesday\":\"No\","
                             "\"autoonWednesday\":\"No\",\"autoonThursday\":\"No\",\"autoonFriday\":\"Yes\","
                             "\"autoonSaturday\":\"No\"";
    const std::string success = "{\"result\":\"Success\", \"message\": ";
    const std::string failed = "{\"result\":\"FAILED\", \"message\": ";
};

TEST_F(BiosRead, MessageAndStatusPerKeyList)
{
    const struct {
        std::string key_list;
        std::string message;
        int read_status;
    } cases[] = {
        {"[ ]", "{}", 0},
        {"{\"DeviceKORACMOSAudio\": 1}", "{}", 0},
        {"[\"BiosChangeReboot\"]", "{\"BiosChangeReboot\":0}", 1},
        // A failed by-name read decides the status only while no later key reads.
        {"[\"DeviceKORACMOSAudio\", \"DeviceKORACMOSAdminLock\"]",
         "{\"DeviceKORACMOSAudio\":\"Yes\",\"DeviceKORACMOSAdminLock\":\"err\"}", 0},
        {"[\"DeviceKORACMOSAdminLock\", \"DeviceKORACMOSAudio\"]",
         "{\"DeviceKORACMOSAdminLock\":\"err\",\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[\"DeviceKORACMOSDeepSleep\"]", "{}", 1},  // not on this model
        // An unknown key or a non-string element ends the list.
        {"[\"DeviceKORACMOSAudio\", \"Volume\", \"DeviceKORACMOSAdminLock\"]", "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[\"DeviceKORACMOSAudio\", 5, \"DeviceKORACMOSAdminLock\"]", "{\"DeviceKORACMOSAudio\":\"Yes\"}", 1},
        {"[\"DeviceKORACMOSACRecoveryMode\"]", "{\"DeviceKORACMOSACRecoveryMode\": \"PowerOff\"}", 1},
        {"[\"DeviceKORACMOSAudio\\\"x\\n\"]", "{\"DeviceKORACMOSAudio\\\"x\\n\":\"err\"}", 0},
    };
    set_model("K20");
    sim.values["Audio"] = 1;
    sim.faults = {{.token = 0x2BD, .status = 7}};  // AdminLock cannot be read
    for (const auto &c : cases) {
        const BiosReadResult result = read(c.key_list);
        EXPECT_EQ(c.message, result.message) << c.key_list;
        EXPECT_EQ(c.read_status, result.read_status) << c.key_list;
    }
}

TEST_F(BiosRead, AutoPowerGroupByModeAndItsFailures)
{
    std::string failed_days = days;
    for (const char *value : {"\"No\"", "\"Yes\""})
        for (size_t at; (at = failed_days.find(value)) != std::string::npos;)
            failed_days.replace(at, strlen(value), "\"err\"");
    const struct {
        uint32_t mode;
        int64_t failing_token;
        std::string message;
    } cases[] = {
        {0, 0, "\"1\""},  // token 0 is never read: no failure
        {1, 0, "\"2\"," + time},
        {2, 0, "\"3\"," + time},
        {3, 0, "\"4\"," + time + "," + days},
        {3, 0x28, "\"get off err\""},
        {3, 0x29, "\"get day err\""},
        {3, 0x2A, "\"get work err\""},
        {3, 0x319, "\"4\"," + time + "," + failed_days},  // a failed day read is no selection
    };
    for (const auto &c : cases) {
        auto_power(c.mode);
        sim.faults = {{.token = c.failing_token, .status = 4}};
        // Any key beginning like the auto-power key reads the whole group.
        EXPECT_EQ("{\"DeviceKORACMOSAutoPowerX\": " + c.message + "}", read("[\"DeviceKORACMOSAutoPowerX\"]").message);
    }
}

TEST_F(BiosRead, LongKeysAreReadAsTheirFirst63BytesAndStayWholeMembers)
{
    const std::string key = "DeviceKORACMOSFastboot" + std::string(50, 'x');
    EXPECT_EQ("{\"" + key.substr(0, 63) + "\": \"Minimal\"}", read("[\"" + key + "\"]").message);
    ext_bios_reply(("[\"" + key + "\"]").c_str());
    EXPECT_EQ(1u, log.count(key + " length error, truncated!"));
    // Control characters take six bytes each once escaped; the member must not be cut.
    const std::string control(63 - 18, '\x01');
    const Members members = json_members(read("[\"DeviceKORACMOSACRe" + json_escape(control) + "\"]").message);
    ASSERT_EQ(1u, members.size());
    EXPECT_EQ("DeviceKORACMOSACRe" + control, members[0].first);
}

TEST_F(BiosRead, ExtractReplyGivesTheValuesAsSetBiosTakesThemBack)
{
    set_model("K30AIO");
    sim.values["PXEBootSupport"] = 2;  // on, and OSD on reads 0: both read otherwise than written
    sim.values["Audio"] = 5;
    auto_power(3);
    // The reboot marker is no key here: it ends the list.
    EXPECT_EQ(success +
                  "{\"DeviceKORACMOSAudio\": 1,\"DeviceKORACMOSOSDConfigure\": 1,"
                  "\"DeviceKORACMOSPXEBootSupport\": 1,\"DeviceKORACMOSAutoPower\": \"Days\"," +
                  time + "," + days + "}}",
              ext_bios_reply("[\"DeviceKORACMOSAudio\", \"DeviceKORACMOSOSDConfigure\", "
                             "\"DeviceKORACMOSPXEBootSupport\", \"DeviceKORACMOSAutoPower\", \"BiosChangeReboot\"]"));
}

TEST_F(BiosRead, ExtractFileHoldsTheModelsListIn1024BytesAndItsWriteDecidesTheResult)
{
    TempDir root;
    ScopedHostRoot scoped(root.path);
    set_model("K10X");
    auto_power(3);
    const std::string path = root.file("cmos.bin");
    const std::string reply = extract_to(path);
    const std::string bytes = slurp(path);
    ASSERT_EQ(1024u, bytes.size());
    const std::string text(bytes.c_str());
    EXPECT_EQ(success + text + "}", reply);
    EXPECT_EQ(std::string(1024 - text.size(), '\0'), bytes.substr(text.size()));
    // The extract list, with the auto-on time and the chosen days (one array) after the mode.
    Strings expected = names_of(json_members(bios_extract_key_list()));
    const auto mode = std::find(expected.begin(), expected.end(), "DeviceKORACMOSAutoPower");
    ASSERT_NE(expected.end(), mode);
    expected.insert(mode + 1,
                    {"DeviceKORACMOSAutoPowerHour", "DeviceKORACMOSAutoPowerMin", "DeviceKORACMOSAutoPowerDays"});
    EXPECT_EQ(expected, names_of(json_members(text)));
    EXPECT_NE(std::string::npos, text.find("\"DeviceKORACMOSAutoPowerDays\": [\"Friday\"]"));

    EXPECT_EQ(failed + text + "}", extract_to(root.path));    // a folder
    EXPECT_EQ(failed + text + "}", extract_to("/dev/full"));  // a write that does not go through
    sim.faults = {{.token = 0x31F, .status = 4}};
    extract_to(path);
    EXPECT_NE(std::string::npos, slurp(path).find("\"DeviceKORACMOSAutoPowerDays\": \"err\""));
    set_model("");
    EXPECT_EQ(failed + "\"cmos: get product name err\"}", extract_to(root.file("none")));
    EXPECT_FALSE(g_file_test(root.file("none").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
