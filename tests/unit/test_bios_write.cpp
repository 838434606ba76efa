#include <algorithm>

#include "services/bios/bios_writers.h"
#include "services/bios/set_bios.h"
#include "test_bios_fixture.h"

namespace {

class BiosWrite : public BiosFixture {
protected:
    bool text(BiosText setting, const char *value, AutoOnSchedule schedule = {})
    {
        sim.requests.clear();
        return bios_write_text_setting(setting, value, schedule, 0, &result);
    }
    bool run(const std::string &para)
    {
        sim.requests.clear();
        return set_bios_run(para.c_str(), &result);
    }
    std::string result;
};

TEST_F(BiosWrite, TextWordsMatchByPrefixAndCaseAndOnlyAFailedWriteFails)
{
    const struct {
        BiosText setting;
        const char *value;
        bool write_fails;
        bool ok;
        Strings writes;
    } cases[] = {
        {BiosText::ac_recovery, "poweron", false, true, {}},  // a refused word is no failure
        {BiosText::ac_recovery, "LastStateX", false, true, {token_write(0xA2, 2)}},
        {BiosText::mac_pass, "Intergrate!", false, true, {token_write(0x49A, 1)}},
        {BiosText::wake_on_lan, "LANORSFPNIC", false, true, {token_write(0x57, 5)}},  // no SFP NIC here
        {BiosText::deep_sleep, "EnabledInS5Only", false, true, {token_write(0x30F, 2)}},
        {BiosText::ac_recovery, "PowerOff", true, false, {token_write(0xA1, 0)}},
        {BiosText::fastboot, "Minimal", true, false, {token_write(0xEA, 0)}},
        {BiosText::deep_sleep, "Disabled", true, false, {token_write(0xF6, 0)}},
    };
    for (const auto &c : cases) {
        sim.faults = c.write_fails ? std::vector<biossim::Fault>{{.status = 6}} : std::vector<biossim::Fault>{};
        EXPECT_EQ(c.ok, text(c.setting, c.value)) << c.value;
        EXPECT_EQ(c.writes, writes()) << c.value;
    }
}

TEST_F(BiosWrite, AutoOnWritesModeDaysAndTimeAndStopsAtTheFirstFailure)
{
    EXPECT_TRUE(text(BiosText::auto_power, "Days", {0x41, 23, 45}));
    EXPECT_EQ((Strings{token_write(0x312, 3), token_write(0x313, 1), token_write(0x316, 0), token_write(0x318, 0),
                       token_write(0x31A, 0), token_write(0x31C, 0), token_write(0x31E, 0), token_write(0x31F, 1),
                       token_write(0x2B, 0x23), token_write(0x2C, 0x45)}),
              writes());
    EXPECT_FALSE(text(BiosText::auto_power, "Daily", {0x41, 25, 45}));  // the hour is refused after the mode
    EXPECT_EQ(Strings{token_write(0x29, 1)}, writes());
    sim.faults = {{.token = 0x317, .status = 8}};  // Tuesday on
    EXPECT_FALSE(text(BiosText::auto_power, "Days", {0x7F, 1, 2}));
    EXPECT_EQ((Strings{token_write(0x312, 3), token_write(0x313, 1), token_write(0x315, 1), token_write(0x317, 1)}),
              writes());
}

TEST_F(BiosWrite, SwitchesWriteTheirOwnTokensPerModelAndRefuseOtherValues)
{
    const struct {
        const char *model;
        size_t index;
        Strings on_then_off;
    } cases[] = {
        {"K10", 1, {token_write(0x22, 1), token_write(0x23, 0)}},     // audio
        {"K10", 9, {token_write(0x2D, 2), token_write(0x6E, 1)}},     // PXE boot: values of its own
        {"K10", 12, {token_write(0x372, 0), token_write(0x373, 1)}},  // OSD: inverted
        {"K10", 11, {token_write(0x34F, 1)}},                         // secure boot: never off once on
        {"K20", 3, {token_write(0x1D5, 1), token_write(0x1D4, 0)}},   // rear port of the K20
        {"vantor 70", 7, {token_write(0x3E3, 1), token_write(0x3E2, 0)}},
    };
    for (const auto &c : cases) {
        set_model(c.model);
        sim.requests.clear();
        EXPECT_TRUE(bios_write_switch(c.index, 1, 0, &result)) << bios_switch_member(c.index);
        EXPECT_TRUE(bios_write_switch(c.index, 0, 0, &result)) << bios_switch_member(c.index);
        EXPECT_EQ(c.on_then_off, writes()) << c.model << " " << bios_switch_member(c.index);
    }
    sim.requests.clear();
    EXPECT_FALSE(bios_write_switch(1, 2, 0, &result));
    EXPECT_FALSE(bios_write_switch(12, -1, 0, &result));
    EXPECT_TRUE(writes().empty());
    sim.faults = {{.token = 0x1B6, .status = 4}};
    EXPECT_FALSE(bios_write_switch(13, 1, 0, &result));
}

TEST_F(BiosWrite, DockWarningTakesOnlyZeroOrOneAndFailsOnlyWhenTheWriteDoes)
{
    EXPECT_TRUE(bios_write_dock_warning(1, 0, &result));
    EXPECT_TRUE(bios_write_dock_warning(-1, 0, &result));
    sim.faults = {{.token = 0x3A9, .status = 5}};
    EXPECT_FALSE(bios_write_dock_warning(0, 0, &result));
    EXPECT_EQ((Strings{token_write(0x3A8, 1), token_write(0x3A9, 0)}), writes());
}

TEST_F(BiosWrite, SetBiosAppliesTheModelsMembersTextsFirstAndWritesNothingWithoutThePassword)
{
    EXPECT_TRUE(run("{}"));
    EXPECT_TRUE(run("Audio=1"));  // no object: nothing to write
    install_password("secret");
    EXPECT_FALSE(run("Audio=1"));
    EXPECT_FALSE(run(R"({"DeviceKORACMOSCurrentPassword": "guess", "DeviceKORACMOSAudio": 1,
                         "DeviceKORACMOSNewPassword": "other"})"));
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ("secret", sim.password);
    sim.password_installed = false;

    const std::string para = R"({"DeviceKORACMOSOSDConfigure": 1, "DeviceKORACMOSUSBSidePort": 0,
        "DeviceKORACMOSMACPASSConfigure": "no", "DeviceKORACMOSFastboot": "Auto", "DeviceKORACMOSAudio": 165,
        "DeviceKORACMOSDeepSleep": "Disabled", "DeviceKORACMOSUSBFrontPort": 1, "DeviceKORACMOSWakeOnUSB": 0,
        "DeviceKORACMOSKeyboardErrorDetection": "Enable", "DeviceKORACMOSACRecovery": "PowerOff"})";
    // Texts in their order, then switches in theirs; each member only on the models that read it.
    const struct {
        const char *model;
        Strings writes;
    } cases[] = {
        {"K10",
         {token_write(0xA1, 0), token_write(0xF6, 0), token_write(0xEC, 2), token_write(0x9D, 1), token_write(0x146, 0),
          token_write(0x14F, 1)}},
        {"K50AIO",
         {token_write(0xA1, 0), token_write(0xF6, 0), token_write(0xEC, 2), token_write(0x9D, 1), token_write(0x146, 0),
          token_write(0x14F, 1), token_write(0x372, 0), token_write(0x41D, 0)}},
        {"K60AIO",
         {token_write(0xA1, 0), token_write(0xF6, 0), token_write(0x9D, 1), token_write(0x146, 0),
          token_write(0x14F, 1), token_write(0x372, 0), token_write(0x41D, 0)}},
        {"Lumen 84",
         {token_write(0xA1, 0), token_write(0x49B, 2), token_write(0xEC, 2), token_write(0x9D, 1),
          token_write(0x146, 0), token_write(0x14F, 1)}},
    };
    for (const auto &c : cases) {
        set_model(c.model);
        EXPECT_TRUE(run(para)) << c.model;
        EXPECT_EQ(c.writes, writes()) << c.model;
    }
    // A refused switch value counts as a failure, a refused text value does not.
    EXPECT_FALSE(run(R"({"DeviceKORACMOSAudio": 2, "DeviceKORACMOSAdminLock": 1})"));
    EXPECT_EQ(Strings{token_write(0x2BD, 1)}, writes());
    EXPECT_TRUE(run(R"({"DeviceKORACMOSACRecovery": "poweron"})"));
    set_model("Vantor 70");  // the only model that reads the dock warning
    EXPECT_TRUE(run(R"({"DeviceKORACMOSSupressDockWarnMsg": 0})"));
    EXPECT_EQ(Strings{token_write(0x3A9, 0)}, writes());
}

TEST_F(BiosWrite, ScheduleIsTheRequestsOwn)
{
    const std::string daily = R"({"DeviceKORACMOSAutoPower": "Daily", "DeviceKORACMOSAutoPowerTime": )";
    const std::string days = R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerDays": )";
    const auto days_on = [](std::initializer_list<int> on) {
        Strings out{token_write(0x312, 3)};
        for (int bit = 0; bit < 7; ++bit) {
            const bool set = std::find(on.begin(), on.end(), bit) != on.end();
            out.push_back(token_write(set ? 0x313 + 2 * bit : 0x314 + 2 * bit, set ? 1 : 0));
        }
        return out;
    };
    const struct {
        std::string para;
        bool ok;
        Strings writes;
    } cases[] = {
        {daily + R"("7:05"})", true, {token_write(0x29, 1), token_write(0x2B, 7), token_write(0x2C, 5)}},
        {daily + R"(" 8:30:15"})", true, {token_write(0x29, 1), token_write(0x2B, 8), token_write(0x2C, 0x30)}},
        {daily + R"("x:"})", true, {token_write(0x29, 1), token_write(0x2B, 0), token_write(0x2C, 0)}},
        {daily + R"("7"})", false, {}},  // a time without a colon
        // Without a time or days of its own the request leaves the BIOS's alone.
        {daily + R"(""})", true, {token_write(0x29, 1)}},
        {days + R"(["monday", "FRIDAY", 3]})", true, days_on({1, 5})},
        {days + R"(["Someday"]})", true, days_on({})},
        {days + R"([]})", true, {token_write(0x312, 3)}},
        {days + R"("Monday"})", true, {token_write(0x312, 3)}},
        // Names that no longer fit the list are dropped.
        {days + R"(["Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", "Sunday"]})", true,
         days_on({3})},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.ok, run(c.para)) << c.para;
        EXPECT_EQ(c.writes, writes()) << c.para;
    }
}

TEST_F(BiosWrite, PasswordChangeDecidesTheResultAndPasswordsAreNeitherCutNorLogged)
{
    EXPECT_TRUE(run(R"({"DeviceKORACMOSNewPassword": "Secret7", "DeviceKORACMOSAudio": 7})"));
    EXPECT_EQ("Secret7", sim.password);
    EXPECT_FALSE(run(R"({"DeviceKORACMOSNewPassword": "second"})"));  // no current password
    sim.max_len = 8;
    EXPECT_FALSE(run(R"({"DeviceKORACMOSCurrentPassword": "Secret7", "DeviceKORACMOSNewPassword": "muchtoolong"})"));
    EXPECT_EQ("Secret7", sim.password);
    // Too long for its member: refused before the BIOS is asked anything.
    const std::string too_long(64, 'q');
    for (const char *member : {"DeviceKORACMOSCurrentPassword", "DeviceKORACMOSNewPassword"}) {
        EXPECT_FALSE(run("{\"" + std::string(member) + "\": \"" + too_long + "\", \"DeviceKORACMOSAudio\": 1}"));
        EXPECT_TRUE(requests().empty()) << member;
    }
    for (const auto &line : log.lines)
        EXPECT_TRUE(line.find("qqqq") == std::string::npos && line.find("Secret7") == std::string::npos) << line;
    // One blank removes the password.
    EXPECT_TRUE(run(R"({"DeviceKORACMOSCurrentPassword": "Secret7", "DeviceKORACMOSNewPassword": " "})"));
    EXPECT_FALSE(sim.password_installed);
    EXPECT_EQ(std::string(record_size, '\0'), std::string(record, record_size));
}

class BiosRestore : public BiosWrite {
protected:
    // SetBios restoring from an extract file holding `text` (in `size` bytes).
    bool restore(const std::string &text, const char *password = "", size_t size = 1024)
    {
        std::string bytes(size, '\0');
        bytes.replace(0, std::min(text.size(), size), text.substr(0, size));
        put(dir.file("cmos.json"), bytes);
        return run(para(dir.file("cmos.json"), password));
    }
    static std::string para(const std::string &path, const char *password = "")
    {
        return "{\"DeviceKORACMOSRestoreFilePath\": \"" + path + "\", \"DeviceKORACMOSRestorePassword\": \"" +
               password + "\"}";
    }
    TempDir dir;
};

TEST_F(BiosRestore, FileIsTheSettingsObjectAndWhatTheExtractCouldNotReadIsNeverWritten)
{
    install_password("secret");
    sim.security_key = 0x5EED;
    const std::string time = R"("DeviceKORACMOSAutoPowerHour": "8", "DeviceKORACMOSAutoPowerMin": "30")";
    EXPECT_FALSE(restore(R"({"DeviceKORACMOSAudio": 0})"));
    EXPECT_TRUE(restore(R"({"DeviceKORACMOSAutoPower": "Daily", "DeviceKORACMOSAutoPowerTime": "9", )" + time +
                            R"(, "DeviceKORACMOSAudio": 0})",
                        "secret"));
    EXPECT_EQ((Strings{token_write(0x29, 1, 0x5EED), token_write(0x2B, 8, 0x5EED), token_write(0x2C, 0x30, 0x5EED),
                       token_write(0x23, 0, 0x5EED)}),
              writes());
    sim.password_installed = false;
    const struct {
        std::string file;
        Strings writes;
    } cases[] = {
        {R"({"DeviceKORACMOSAutoPower": "Days", )" + time + R"(, "DeviceKORACMOSAutoPowerDays": []})",
         {token_write(0x312, 3), token_write(0x314, 0), token_write(0x316, 0), token_write(0x318, 0),
          token_write(0x31A, 0), token_write(0x31C, 0), token_write(0x31E, 0), token_write(0x320, 0),
          token_write(0x2B, 8), token_write(0x2C, 0x30)}},
        {R"({"DeviceKORACMOSAutoPower": "Days", )" + time + R"(, "DeviceKORACMOSAutoPowerDays": "err"})",
         {token_write(0x312, 3), token_write(0x2B, 8), token_write(0x2C, 0x30)}},
        // A time the extract could not read leaves mode, time and days alone.
        {R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerHour": "-1", "DeviceKORACMOSAutoPowerMin": "5",
             "DeviceKORACMOSAutoPowerDays": ["Monday"], "DeviceKORACMOSAudio": 1})",
         {token_write(0x22, 1)}},
        {R"({"DeviceKORACMOSAudio": "err", "DeviceKORACMOSAdminLock": 0, "DeviceKORACMOSWakeOnUSB": null})",
         {token_write(0x2BE, 0)}},
        {R"({"DeviceKORACMOSFastboot": "get data err", "DeviceKORACMOSAutoPower": "get off err"})", {}},
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(restore(c.file)) << c.file;  // skipping is no failure
        EXPECT_EQ(c.writes, writes()) << c.file;
    }
}

TEST_F(BiosRestore, FileThatCannotBeUsedWritesNothing)
{
    const std::string at_limit = "/" + std::string(54, 'p');
    EXPECT_FALSE(run(para(at_limit + "q")));                                        // path too long
    EXPECT_FALSE(run(para(at_limit)));                                              // missing
    EXPECT_FALSE(run(para(dir.path)));                                              // a folder
    EXPECT_FALSE(restore("{\"DeviceKORACMOSAudio\": 1" + std::string(1024, ' ')));  // no end within 1024 bytes
    EXPECT_FALSE(restore("{}", std::string(64, 'r').c_str()));  // a password too long for its member
    EXPECT_TRUE(requests().empty());
    // A file shorter than 1024 bytes ends where it ends.
    EXPECT_TRUE(restore("{\"DeviceKORACMOSAudio\": 1}", "", 26));
    EXPECT_EQ(Strings{token_write(0x22, 1)}, writes());
}

}  // namespace
