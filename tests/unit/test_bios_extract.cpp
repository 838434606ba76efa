#include "services/bios/bios_read_keys.h"
#include "services/bios/bios_restore_file.h"
#include "services/bios/ext_bios.h"
#include "temp_dir.h"
#include "test_bios_fixture.h"
#include "test_bios_json.h"

namespace {

using Strings = std::vector<std::string>;

const std::string reply_prefix_ok = "{\"result\":\"Success\", \"message\": ";
const std::string reply_prefix_failed = "{\"result\":\"FAILED\", \"message\": ";

class BiosExtract : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        // The extract script stand-in records the path it was given.
        const std::string script = root.file("usr/share/system/cmos_extract.sh");
        g_mkdir_with_parents(root.file("usr/share/system").c_str(), 0755);
        g_file_set_contents(script.c_str(), "echo \"$1\" >> \"$(dirname \"$0\")/calls\"\n", -1, nullptr);
    }

    std::string script_calls() const
    {
        g_autofree char *text = nullptr;
        g_file_get_contents(root.file("usr/share/system/calls").c_str(), &text, nullptr, nullptr);
        return text ? text : "";
    }

    std::string extract_to(const std::string &path)
    {
        return ext_bios_reply(("{\"DeviceKORACMOSExtractFilePath\": \"" + path + "\"}").c_str());
    }

    static std::string message_of(const std::string &reply)
    {
        const size_t at = reply.find("\"message\": ");
        return reply.substr(at + 11, reply.size() - at - 12);
    }

    static std::string file_bytes(const std::string &path)
    {
        g_autofree char *bytes = nullptr;
        gsize size = 0;
        if (!g_file_get_contents(path.c_str(), &bytes, &size, nullptr))
            return "";
        return std::string(bytes, size);
    }

    TempDir root;
    ScopedHostRoot scoped{root.path()};
    TempDir files;
};

TEST_F(BiosExtract, FileHoldsTheExtractListAndIsAlways1024Bytes)
{
    set_model("K10X");
    sim.values["AutoPower"] = 2;
    sim.values["AutoOnHour"] = 0x06;
    sim.values["AutoOnMinute"] = 0x30;
    sim.values["ACRecovery"] = 1;
    sim.values["Audio"] = 1;
    const std::string path = files.file("cmos.bin");
    const std::string reply = extract_to(path);
    ASSERT_EQ(0u, reply.rfind(reply_prefix_ok, 0)) << reply;
    const std::string bytes = file_bytes(path);
    ASSERT_EQ(1024u, bytes.size());
    const std::string text(bytes.c_str());
    EXPECT_EQ(message_of(reply), text);
    EXPECT_EQ(std::string(1024 - text.size(), '\0'), bytes.substr(text.size()));
    const Members members = json_members(text);
    // The extract list, with the auto-on time after the auto-power mode.
    Strings expected = json_strings(bios_extract_key_list());
    ASSERT_EQ(19u, expected.size());
    ASSERT_EQ("DeviceKORACMOSAutoPower", expected[2]);
    expected.insert(expected.begin() + 3, {"DeviceKORACMOSAutoPowerHour", "DeviceKORACMOSAutoPowerMin"});
    EXPECT_EQ(expected, member_names(members));
    EXPECT_EQ("1", members[0].second);
    EXPECT_EQ("\"Workday\"", members[2].second);
    EXPECT_EQ("\"6\"", members[3].second);
    EXPECT_EQ("\"30\"", members[4].second);
    EXPECT_EQ("\"PowerOn\"", members[5].second);
    EXPECT_EQ("0", members[6].second);
    EXPECT_EQ(path + "\n", script_calls());
}

TEST_F(BiosExtract, PathLengthLimit)
{
    set_model("K20");
    const std::string at_limit = files.path() + "/" + std::string(55 - files.path().size() - 1, 'p');
    ASSERT_EQ(55u, at_limit.size());
    EXPECT_EQ(0u, extract_to(at_limit).rfind(reply_prefix_ok, 0));
    EXPECT_EQ(1024u, file_bytes(at_limit).size());
    EXPECT_EQ(reply_prefix_failed + "{}}", extract_to(at_limit + "q"));
    EXPECT_EQ(1u, log.count_containing("D bios: cmos file name too large err"));
    EXPECT_EQ(at_limit + "\n", script_calls());
}

TEST_F(BiosExtract, WithoutPath)
{
    set_model("K30AIO");
    sim.values["OSDConfigure"] = 0;
    sim.values["PXEBootSupport"] = 2;
    sim.values["Audio"] = 5;
    EXPECT_EQ(
        reply_prefix_ok + "{\"DeviceKORACMOSAudio\": 1,\"DeviceKORACMOSOSDConfigure\": 1,"
                          "\"DeviceKORACMOSPXEBootSupport\": 1}}",
        ext_bios_reply("[\"DeviceKORACMOSAudio\", \"DeviceKORACMOSOSDConfigure\", \"DeviceKORACMOSPXEBootSupport\"]"));
    sim.values["OSDConfigure"] = 1;
    sim.values["PXEBootSupport"] = 1;
    EXPECT_EQ(reply_prefix_ok + "{\"DeviceKORACMOSOSDConfigure\": 0,\"DeviceKORACMOSPXEBootSupport\": 0}}",
              ext_bios_reply("[\"DeviceKORACMOSOSDConfigure\", \"DeviceKORACMOSPXEBootSupport\"]"));
    EXPECT_EQ("", script_calls());
}

TEST_F(BiosExtract, RefusedRequestsWriteNoFileAndRunNoScript)
{
    // An object whose path is empty is its own key list, which is no array.
    set_model("K30AIO");
    EXPECT_EQ(reply_prefix_failed + "{}}", ext_bios_reply("{\"DeviceKORACMOSExtractFilePath\": \"\"}"));
    set_model("");
    EXPECT_EQ(reply_prefix_failed + "\"cmos: get product name err\"}", extract_to(files.file("x")));
    EXPECT_EQ(1u, log.count_containing("D bios: cmos:get product name err"));
    EXPECT_FALSE(g_file_test(files.file("x").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_EQ("", script_calls());
}

TEST_F(BiosExtract, ExtractFormDiffersFromTheReadForm)
{
    sim.values["AutoPower"] = 3;
    sim.values["AutoOnMonday"] = 1;
    sim.faults.push_back(status_fault(4, 0x2BD));
    // Chosen days as seven members without a file; no reboot marker; a failed by-name read.
    EXPECT_EQ(reply_prefix_ok + "{\"DeviceKORACMOSAdminLock\":\"err\",\"DeviceKORACMOSAutoPower\": \"Days\","
                                "\"DeviceKORACMOSAutoPowerHour\": \"0\",\"DeviceKORACMOSAutoPowerMin\": \"0\","
                                "\"autoonSunday\":\"No\",\"autoonMonday\":\"Yes\",\"autoonTuesday\":\"No\","
                                "\"autoonWednesday\":\"No\",\"autoonThursday\":\"No\",\"autoonFriday\":\"No\","
                                "\"autoonSaturday\":\"No\"}}",
              ext_bios_reply("[\"DeviceKORACMOSAdminLock\", \"DeviceKORACMOSAutoPower\", \"BiosChangeReboot\", "
                             "\"DeviceKORACMOSAudio\"]"));
    EXPECT_EQ(1u, log.count_containing("D bios: not found Kora cmos flag"));
    const std::string long_key = "DeviceKORACMOSAudio" + std::string(60, 'x');
    ext_bios_reply(("[\"" + long_key + "\"]").c_str());
    EXPECT_EQ(1u, log.count_containing("D settings: file[bios] line[1]: " + long_key + " length error, truncated!"));
}

TEST_F(BiosExtract, ChosenDaysInAFileAreOneArray)
{
    set_model("K50AIO");
    for (const auto &name : biossim::setting_names())
        sim.values[name] = 1;
    sim.values["AutoPower"] = 3;
    sim.values["DeepSleep"] = 2;
    const std::string path = files.file("days.bin");
    const std::string reply = extract_to(path);
    ASSERT_EQ(0u, reply.rfind(reply_prefix_ok, 0)) << reply;
    const Members members = json_members(file_bytes(path).c_str());
    ASSERT_EQ(25u, members.size());  // the 22 keys, the time and the days
    EXPECT_EQ(0u, log.count_containing("space is not long enough"));
    EXPECT_EQ("DeviceKORACMOSAutoPowerDays", members[5].first);
    EXPECT_EQ("[\"Sunday\",\"Monday\",\"Tuesday\",\"Wednesday\",\"Thursday\",\"Friday\",\"Saturday\"]",
              members[5].second);

    sim.faults.push_back(status_fault(4, 0x31F));
    extract_to(path);
    EXPECT_EQ("\"err\"", json_members(file_bytes(path).c_str())[5].second);
}

TEST_F(BiosExtract, FileWriteDecidesTheResultAndTheScriptDoesNot)
{
    set_model("Lumen 84");
    const std::string reply = extract_to(files.path());
    EXPECT_EQ(0u, reply.rfind(reply_prefix_failed + "{\"DeviceKORACMOSAudio\": 0,", 0)) << reply;
    EXPECT_EQ(1u, log.count_containing("D bios: open cmos file err, errno is "));
    // A write that does not go through is no success either.
    EXPECT_EQ(0u, extract_to("/dev/full").rfind(reply_prefix_failed, 0));
    EXPECT_EQ(1u, log.count_containing("D bios: wirte ret value is -1"));

    // A missing script does not stop the file.
    g_unlink(root.file("usr/share/system/cmos_extract.sh").c_str());
    EXPECT_EQ(0u, extract_to(files.file("y")).rfind(reply_prefix_ok, 0));
    EXPECT_EQ(1024u, file_bytes(files.file("y")).size());
}

TEST(BiosRestoreFile, TextMustEndInTheFirst1024Bytes)
{
    BiosSettings settings;
    const std::string good = std::string("{\"DeviceKORACMOSAudio\": 0}") + std::string(998, '\0');
    EXPECT_TRUE(bios_restore_file_read(good.data(), good.size(), &settings));
    EXPECT_EQ(0, settings.switches[1]);
    BiosSettings untouched;
    const std::string full = "{\"DeviceKORACMOSAudio\": 0}" + std::string(1100, ' ');
    EXPECT_FALSE(bios_restore_file_read(full.data(), full.size(), &untouched));
    EXPECT_FALSE(bios_restore_file_read(full.data(), 1024, &untouched));
    EXPECT_EQ(bios_switch_not_given, untouched.switches[1]);
    // Shorter than the buffer: the zero bytes after it end the text.
    EXPECT_TRUE(bios_restore_file_read(full.data(), 10, &untouched));
    EXPECT_FALSE(untouched.parsed);
}

}  // namespace
