#include "services/bios/bios_settings.h"
#include "services/bios/bios_writers.h"
#include "services/bios/set_bios.h"
#include "temp_dir.h"
#include "test_bios_fixture.h"

namespace {

using Strings = std::vector<std::string>;

constexpr uint32_t KEY = 0x5EED;

std::string write(uint32_t token, uint32_t value, uint32_t key = KEY)
{
    char text[64];
    snprintf(text, sizeof text, "appwrite 1 0 %x %x %x 0\n", token, value, key);
    return text;
}

class BiosWrite : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        sim.security_key = KEY;
        auto_on_days = auto_on_hour = auto_on_minute = 0;
    }

    Strings writes() const { return requests_starting("appwrite 1 "); }

    std::string result;
};

// Writers -----------------------------------------------------------------------------------

struct TextCase {
    const char *name;
    BiosTextSetting setting;
    const char *value;
    Strings writes;
    const char *fragment;
    bool ok;
};

class BiosWriteText : public BiosWrite, public ::testing::WithParamInterface<TextCase> {};

TEST_P(BiosWriteText, WordsBecomeTheirWrites)
{
    set_model("K10");
    EXPECT_EQ(GetParam().ok, bios_write_text_setting(GetParam().setting, GetParam().value, KEY, &result));
    EXPECT_EQ(GetParam().writes, writes());
    EXPECT_EQ(GetParam().fragment, result);
}

INSTANTIATE_TEST_SUITE_P(
    Words, BiosWriteText,
    ::testing::Values(
        TextCase{"PowerOn", BIOS_TEXT_AC_RECOVERY, "PowerOn", {write(0xA3, 1)}, "{KoraCMOSACRecovery: ok}", true},
        TextCase{"LowerCaseRefused", BIOS_TEXT_AC_RECOVERY, "poweron", {}, "{KoraCMOSPowerLoss: input err}", true},
        TextCase{"PrefixIsTheWord", BIOS_TEXT_AC_RECOVERY, "LastStateX", {write(0xA2, 2)}, "{KoraCMOSACRecovery: ok}",
                 true},
        TextCase{"LanOrSfpOffVantor", BIOS_TEXT_WAKE_ON_LAN, "LANORSFPNIC", {write(0x57, 5)},
                 "{KoraCMOSWakeOnLAN: ok}", true},
        TextCase{"WakeOnPxe", BIOS_TEXT_WAKE_ON_LAN, "PXE", {write(0x383, 7)}, "{KoraCMOSWakeOnLAN: ok}", true},
        TextCase{"IntergratedOnTenLetters", BIOS_TEXT_MAC_PASS, "Intergrate!", {write(0x49A, 1)},
                 "{KoraCMOSMACPASSConfigure: ok}", true},
        TextCase{"MacPassNo", BIOS_TEXT_MAC_PASS, "no", {write(0x49B, 2)}, "{KoraCMOSMACPASSConfigure: ok}", true},
        TextCase{"DeepSleepS5", BIOS_TEXT_DEEP_SLEEP, "EnabledInS5Only", {write(0x30F, 2)}, "{DeepSleep: ok}", true},
        TextCase{"FastbootAuto", BIOS_TEXT_FASTBOOT, "Auto", {write(0xEC, 2)}, "{Fastboot: ok}", true},
        TextCase{"PostTimeRefused", BIOS_TEXT_POST_TIME, "7seconds", {}, "{Extended Bios POST Time: input err}",
                 true},
        TextCase{"PostTime10", BIOS_TEXT_POST_TIME, "10seconds", {write(0x3C8, 2)}, "{Extend BIOS POST Time: ok}",
                 true},
        TextCase{"KeyboardDisable", BIOS_TEXT_KEYBOARD, "Disable", {write(0x9E, 0)}, "{Keyboard Errors: ok}", true},
        TextCase{"AutoPowerDisable", BIOS_TEXT_AUTO_POWER, "Disable", {write(0x28, 0)}, "{KoraCMOSAutoPower: ok}",
                 true},
        TextCase{"AutoPowerWorkday", BIOS_TEXT_AUTO_POWER, "Workday", {write(0x2A, 2), write(0x2B, 0), write(0x2C, 0)},
                 "{KoraCMOSAutoPower: ok}", true}),
    [](const ::testing::TestParamInfo<TextCase> &info) { return info.param.name; });

TEST_F(BiosWrite, FailedTextWritesCountAndLogTheirMessages)
{
    StdoutCapture out;
    add_fault(biossim::FAULT_STATUS, -1, 6);
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_AC_RECOVERY, "PowerOff", KEY, &result));
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_FASTBOOT, "Minimal", KEY, &result));
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_DEEP_SLEEP, "Disabled", KEY, &result));
    EXPECT_EQ("{KoraCMOSPowerLoss: set err}{Fastboot: set err}{DeepSleep: set err}", result);
    EXPECT_EQ("SMBIOS: set ac power error\n", out.text());
    EXPECT_EQ(1u, log.count_containing("D bios: powerloss set err"));
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: Set FastBoot error..., return value 6"));
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: set deepsleep 6"));
    EXPECT_EQ(1u, log.count_containing("D bios: deepsleep set err"));
}

TEST_F(BiosWrite, AcRecoveryIsReportedOnStandardOutput)
{
    StdoutCapture out;
    EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_AC_RECOVERY, "LastState", KEY, &result));
    EXPECT_EQ("SMBIOS: smbios_setPowerLoss is done to set 2\n", out.text());
}

TEST_F(BiosWrite, LanOrSfpUsesTheSfpNicOnAVantor70ThatHasOne)
{
    TempDir root;
    ScopedHostRoot scoped(root.path());
    set_model("Vantor 70");
    EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_WAKE_ON_LAN, "LANORSFPNIC", KEY, &result));
    ASSERT_EQ(0, g_mkdir_with_parents((root.path() + "/compat/linux/sys/class/net/re1").c_str(), 0755));
    EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_WAKE_ON_LAN, "LANORSFPNIC", KEY, &result));
    EXPECT_EQ((Strings{write(0x57, 5), write(0x464, 9)}), writes());
}

TEST_F(BiosWrite, AutoPowerChosenDaysWritesEveryDay)
{
    auto_on_days = 0x41;
    auto_on_hour = 23;
    auto_on_minute = 45;
    EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_AUTO_POWER, "Days", KEY, &result));
    EXPECT_EQ((Strings{write(0x312, 3), write(0x313, 1), write(0x316, 0), write(0x318, 0), write(0x31A, 0),
                       write(0x31C, 0), write(0x31E, 0), write(0x31F, 1), write(0x2B, 0x23), write(0x2C, 0x45)}),
              writes());
}

TEST_F(BiosWrite, AutoPowerStopsAtTheFirstFailure)
{
    auto_on_hour = 25;
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_AUTO_POWER, "Daily", KEY, &result));
    EXPECT_EQ((Strings{write(0x29, 1)}), writes());
    EXPECT_EQ("{KoraCMOSAutoPower: set err}", result);
    EXPECT_EQ(1u, log.count_containing("SMBIOS: input Hour value error"));
    EXPECT_EQ(1u, log.count_containing("D bios: autopower set err"));

    sim.requests.clear();
    auto_on_days = 0x7F;
    add_fault(biossim::FAULT_STATUS, 0x317, 8);  // Tuesday on
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_AUTO_POWER, "Days", KEY, &result));
    EXPECT_EQ((Strings{write(0x312, 3), write(0x313, 1), write(0x315, 1), write(0x317, 1)}), writes());
    EXPECT_EQ(1u, log.count_containing("SMBIOS: set Tuesday auto on error 8"));
}

// Switches: value 1 and value 0, in table order, on a model without token variants.
const Strings switch_writes_k10 = {
    write(0x147, 1), write(0x146, 0), write(0x22, 1),  write(0x23, 0),  write(0x2BD, 1), write(0x2BE, 0),
    write(0x41A, 1), write(0x41B, 0), write(0x3E3, 1), write(0x3E2, 0), write(0x3E5, 1), write(0x3E4, 0),
    write(0x3E7, 1), write(0x3E6, 0), write(0x3E9, 1), write(0x3E8, 0), write(0x9B, 1),  write(0x109, 0),
    write(0x2D, 2),  write(0x6E, 1),  write(0x14F, 1), write(0x14E, 0), write(0x34F, 1),
    // secure boot reads as on now: never switched off
    write(0x372, 0), write(0x373, 1), write(0x1B6, 1), write(0x1B5, 0), write(0x1B8, 1), write(0x1B7, 0),
    write(0x1A2, 1), write(0x1A1, 0), write(0x1A4, 1), write(0x1A3, 0), write(0x1A6, 1), write(0x1A5, 0),
    write(0x1A8, 1), write(0x1A7, 0), write(0x41C, 1), write(0x41D, 0)};

TEST_F(BiosWrite, EverySwitchWritesItsTokens)
{
    set_model("K10");
    for (size_t i = 0; i < BIOS_SWITCH_COUNT; ++i) {
        EXPECT_TRUE(bios_write_switch(i, 1, KEY, &result)) << bios_switch_member(i);
        EXPECT_TRUE(bios_write_switch(i, 0, KEY, &result)) << bios_switch_member(i);
    }
    EXPECT_EQ(switch_writes_k10, writes());
    EXPECT_EQ("{KoraCMOSWakeOnUSB: set ok}{KoraCMOSWakeOnUSB: set ok}{KoraCMOSAudio: set ok}{KoraCMOSAudio: set ok}"
              "{KoraCMOSAdminLock: set ok}{KoraCMOSAdminLock: set ok}",
              result);
}

TEST_F(BiosWrite, ModelVariantsOfSwitchTokens)
{
    const struct {
        const char *model;
        size_t index;
        int value;
        std::string request;
    } cases[] = {
        {"K20", 3, 0, write(0x1D4, 0)},       {"K10", 3, 0, write(0x41B, 0)},
        {"Vantor 70", 4, 1, write(0x3E5, 1)}, {"Vantor 70", 5, 0, write(0x3E6, 0)},
        {"vantor 70", 7, 0, write(0x3E2, 0)}, {"K20", 7, 0, write(0x3E8, 0)},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        set_model(c.model);
        EXPECT_TRUE(bios_write_switch(c.index, c.value, KEY, &result));
        EXPECT_EQ(Strings{c.request}, writes()) << c.model << " " << bios_switch_member(c.index);
    }
}

TEST_F(BiosWrite, RefusedAndFailedSwitchesCount)
{
    EXPECT_FALSE(bios_write_switch(1, 2, KEY, &result));
    EXPECT_FALSE(bios_write_switch(2, -1, KEY, &result));
    EXPECT_FALSE(bios_write_switch(12, 7, KEY, &result));
    EXPECT_TRUE(writes().empty());
    add_fault(biossim::FAULT_STATUS, 0x1B6, 4);
    EXPECT_FALSE(bios_write_switch(13, 1, KEY, &result));
    EXPECT_EQ("{KoraCMOSAudio: input err}{KoraCMOSAdmiLock: input err}", result);
    EXPECT_EQ(1u, log.count_containing("D bios: set audio input value err"));
    EXPECT_EQ(1u, log.count_containing("D bios: osd input value err"));
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: set side top usb 4"));
    EXPECT_EQ(1u, log.count_containing("D bios: side top usb set err"));
}

TEST_F(BiosWrite, DockWarning)
{
    EXPECT_TRUE(bios_write_dock_warning(1, KEY, &result));
    EXPECT_TRUE(bios_write_dock_warning(-1, KEY, &result));
    add_fault(biossim::FAULT_STATUS, 0x3A9, 5);
    EXPECT_FALSE(bios_write_dock_warning(0, KEY, &result));
    EXPECT_EQ((Strings{write(0x3A8, 1), write(0x3A9, 0)}), writes());
    EXPECT_EQ("{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set OK}{SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input err}"
              "{SUPRESS_DOCKER_INCOMPATIBLE_WARN: Set err}",
              result);
    EXPECT_EQ(1u, log.count_containing("SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input value -1 err"));
    EXPECT_EQ(1u, log.count_containing("N bios: SMBIOS: set_suppress_dock_warn error 5"));
}

// SetBios -----------------------------------------------------------------------------------

class SetBios : public BiosWrite {
protected:
    bool run(const std::string &para) { return set_bios_run(para.c_str(), &result); }

    void install_password(const char *password)
    {
        sim.password_installed = true;
        sim.password = password;
    }
};

TEST_F(SetBios, EmptyObjectWithoutPasswordSucceedsWithoutWrites)
{
    EXPECT_TRUE(run("{}"));
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n"}), requests());
    EXPECT_EQ(1u, log.count_containing("D bios: set bios command is executed."));
    EXPECT_NE(std::string::npos, log.lines().back().find("D bios: final result: "));
}

TEST_F(SetBios, TextThatIsNotJsonSetsNothing)
{
    EXPECT_TRUE(run("Audio=1"));
    install_password("secret");
    EXPECT_FALSE(run("Audio=1"));
    EXPECT_EQ("{Password err}", result);
    EXPECT_TRUE(writes().empty());
}

TEST_F(SetBios, WrongPasswordWritesNothing)
{
    install_password("secret");
    EXPECT_FALSE(run(R"({"DeviceKORACMOSCurrentPassword": "guess", "DeviceKORACMOSAudio": 1,
                         "DeviceKORACMOSNewPassword": "other"})"));
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ("secret", sim.password);
    EXPECT_TRUE(run(R"({"DeviceKORACMOSCurrentPassword": "secret", "DeviceKORACMOSAudio": 1})"));
    EXPECT_EQ((Strings{write(0x22, 1)}), writes());
}

struct TimeCase {
    const char *time;
    bool ok;
    int hour;
    int minute;
};

class SetBiosTime : public SetBios, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(SetBiosTime, TimeText)
{
    auto_on_hour = auto_on_minute = 99;
    EXPECT_EQ(GetParam().ok, run(std::string(R"({"DeviceKORACMOSAudio": 1, "DeviceKORACMOSAutoPowerTime": ")") +
                                 GetParam().time + "\"}"));
    EXPECT_EQ(GetParam().hour, auto_on_hour);
    EXPECT_EQ(GetParam().minute, auto_on_minute);
    EXPECT_EQ(GetParam().ok ? 1u : 0u, writes().size());
    EXPECT_EQ(GetParam().ok ? 0u : 1u, log.count_containing("D bios: get timelist err"));
}

INSTANTIATE_TEST_SUITE_P(Times, SetBiosTime,
                         ::testing::Values(TimeCase{"7:05", true, 7, 5}, TimeCase{"7", false, 99, 99},
                                           TimeCase{"7:", true, 7, 0}, TimeCase{" 8:30:15", true, 8, 30},
                                           TimeCase{"x:y", true, 0, 0}));

TEST_F(SetBios, DayListReplacesTheStoredDays)
{
    auto_on_days = 0x7F;
    EXPECT_TRUE(run(R"({"DeviceKORACMOSAutoPowerDays": ["monday", "FRIDAY", 3]})"));
    EXPECT_EQ(0x22, auto_on_days);
    EXPECT_TRUE(run(R"({"DeviceKORACMOSAutoPowerDays": ["Someday"]})"));
    EXPECT_EQ(0, auto_on_days);
    auto_on_days = 0x41;
    EXPECT_TRUE(run(R"({"DeviceKORACMOSAutoPowerDays": []})"));
    EXPECT_EQ(0x41, auto_on_days);
    // Names that no longer fit the list are dropped.
    EXPECT_TRUE(run(R"({"DeviceKORACMOSAutoPowerDays": ["Wednesday", "Wednesday", "Wednesday", "Wednesday",
                        "Wednesday", "Wednesday", "Sunday"]})"));
    EXPECT_EQ(0x08, auto_on_days);
}

TEST_F(SetBios, SwitchSlotsAndResults)
{
    EXPECT_TRUE(run(R"({"DeviceKORACMOSAudio": 165})"));
    EXPECT_TRUE(writes().empty());
    EXPECT_FALSE(run(R"({"DeviceKORACMOSAudio": 2, "DeviceKORACMOSAdminLock": 1})"));
    EXPECT_EQ((Strings{write(0x2BD, 1, 0)}), writes());
    EXPECT_EQ("{KoraCMOSAudio: input err}{KoraCMOSAdminLock: set ok}", result);
    // A refused text value does not count.
    EXPECT_TRUE(run(R"({"DeviceKORACMOSACRecovery": "poweron"})"));
}

TEST_F(SetBios, MembersAreReadPerModel)
{
    const std::string para = R"({"DeviceKORACMOSOSDConfigure": 1, "DeviceKORACMOSUSBSidePort": 0,
                                 "DeviceKORACMOSMACPASSConfigure": "no", "DeviceKORACMOSFastboot": "Auto",
                                 "DeviceKORACMOSDeepSleep": "Disabled"})";
    const struct {
        const char *model;
        Strings writes;
    } cases[] = {
        {"K10", {write(0xF6, 0, 0), write(0xEC, 2, 0)}},
        {"K30AIO", {write(0xF6, 0, 0), write(0xEC, 2, 0), write(0x372, 0, 0)}},
        {"K50AIO", {write(0xF6, 0, 0), write(0xEC, 2, 0), write(0x372, 0, 0), write(0x41D, 0, 0)}},
        {"K60AIO", {write(0xF6, 0, 0), write(0x372, 0, 0), write(0x41D, 0, 0)}},
        {"Lumen 84", {write(0x49B, 2, 0), write(0xEC, 2, 0)}},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        set_model(c.model);
        EXPECT_TRUE(run(para)) << c.model;
        EXPECT_EQ(c.writes, writes()) << c.model;
    }
}

TEST_F(SetBios, TextSettingsBeforeSwitchesInTheirOrder)
{
    set_model("K10");
    EXPECT_TRUE(run(R"({"DeviceKORACMOSUSBFrontPort": 1, "DeviceKORACMOSWakeOnUSB": 0,
                        "DeviceKORACMOSKeyboardErrorDetection": "Enable", "DeviceKORACMOSACRecovery": "PowerOff",
                        "DeviceKORACMOSAutoPower": "Disable"})"));
    EXPECT_EQ((Strings{write(0xA1, 0, 0), write(0x28, 0, 0), write(0x9D, 1, 0), write(0x146, 0, 0), write(0x14F, 1, 0)}), writes());
}

TEST_F(SetBios, VantorDockWarningIsAlwaysApplied)
{
    set_model("Vantor 70");
    EXPECT_TRUE(run("{}"));
    EXPECT_EQ(1u, log.count_containing("GET_INT_BOOLEAN_MEMBER(DeviceKORACMOSSupressDockWarnMsg) = -1"));
    EXPECT_EQ(1u, log.count_containing("SUPRESS_DOCKER_INCOMPATIBLE_WARN Errors: input value -1 err"));
    EXPECT_TRUE(run(R"({"DeviceKORACMOSSupressDockWarnMsg": 0})"));
    EXPECT_EQ((Strings{write(0x3A9, 0, 0)}), writes());
}

TEST_F(SetBios, PasswordChangeDecidesTheResult)
{
    EXPECT_TRUE(run(R"({"DeviceKORACMOSNewPassword": "first", "DeviceKORACMOSAudio": 7})"));
    EXPECT_EQ("{Password change Ok}", result);
    EXPECT_EQ("first", sim.password);
    // A wrong current password fails before anything is written or changed.
    EXPECT_FALSE(run(R"({"DeviceKORACMOSNewPassword": "second"})"));
    EXPECT_EQ("first", sim.password);
    // Refused by the BIOS rules.
    sim.max_len = 8;
    EXPECT_FALSE(run(R"({"DeviceKORACMOSCurrentPassword": "first", "DeviceKORACMOSNewPassword": "muchtoolong"})"));
    EXPECT_EQ("{Password change err}", result);
    // One blank removes the password.
    EXPECT_TRUE(run(R"({"DeviceKORACMOSCurrentPassword": "first", "DeviceKORACMOSNewPassword": " "})"));
    EXPECT_FALSE(sim.password_installed);
    EXPECT_EQ("appwrite a 5 8 first ", requests().back());
}

// Restore mode ------------------------------------------------------------------------------

class SetBiosRestore : public SetBios {
protected:
    std::string restore_file(const std::string &text, size_t size = 1024)
    {
        std::string bytes(size, '\0');
        bytes.replace(0, std::min(text.size(), size), text.substr(0, size));
        const std::string path = dir.file("cmos.json");
        g_file_set_contents(path.c_str(), bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
        return path;
    }
    std::string restore_para(const std::string &path, const char *password = "")
    {
        return "{\"DeviceKORACMOSRestoreFilePath\": \"" + path + "\", \"DeviceKORACMOSRestorePassword\": \"" +
               password + "\"}";
    }
    TempDir dir;
};

TEST_F(SetBiosRestore, FileTextIsTheSettingsObject)
{
    install_password("secret");
    const std::string path = restore_file(R"({"DeviceKORACMOSAutoPower": "Daily", "DeviceKORACMOSAutoPowerHour": "8",
        "DeviceKORACMOSAutoPowerMin": "30", "DeviceKORACMOSAutoPowerTime": "9", "DeviceKORACMOSAudio": 0})");
    EXPECT_FALSE(run(restore_para(path)));
    EXPECT_EQ("{Password err}", result);
    EXPECT_TRUE(run(restore_para(path, "secret")));
    EXPECT_EQ(8, auto_on_hour);
    EXPECT_EQ(30, auto_on_minute);
    EXPECT_EQ((Strings{write(0x29, 1), write(0x2B, 8), write(0x2C, 0x30), write(0x23, 0)}), writes());
    EXPECT_EQ(2u, log.count_containing("D bios: cmos read ret value is 1024"));
}

TEST_F(SetBiosRestore, EmptyDaySelectionInAFileMeansNoDay)
{
    auto_on_days = 0x41;
    EXPECT_TRUE(run(restore_para(restore_file(R"({"DeviceKORACMOSAutoPowerDays": []})"))));
    EXPECT_EQ(0, auto_on_days);
    auto_on_days = 0x41;
    EXPECT_TRUE(run(restore_para(restore_file(R"({"DeviceKORACMOSAutoPowerDays": "err"})"))));
    EXPECT_EQ(0x41, auto_on_days);
}

TEST_F(SetBiosRestore, EntryFailures)
{
    const std::string at_limit = "/" + std::string(54, 'p');
    const std::string too_long = at_limit + "q";
    const std::string text_to_the_end = "{\"DeviceKORACMOSAudio\": 1" + std::string(1024, ' ');
    const struct {
        std::string para;
        const char *result;
        const char *log;
    } cases[] = {
        {restore_para(too_long), "{cmos file len err}", "D bios: cmos file name too large err"},
        {restore_para(at_limit), "{open cmos file err}", "D bios: open cmos file name err,err is "},
        {restore_para(dir.path()), "{open cmos file err}", "D bios: open cmos file name err,err is "},
        {restore_para(restore_file(text_to_the_end, 1024)), "{cmos file format err}",
         "D bios: cmos read ret value is 1024"},
    };
    for (const auto &c : cases) {
        const size_t logged = log.count_containing(c.log);
        EXPECT_FALSE(run(c.para));
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(logged + 1, log.count_containing(c.log)) << c.para;
    }
    EXPECT_TRUE(writes().empty());
    // A file shorter than the buffer still ends in it.
    EXPECT_TRUE(run(restore_para(restore_file("{\"DeviceKORACMOSAudio\": 1}", 26))));
    EXPECT_EQ((Strings{write(0x22, 1, 0)}), writes());
}

TEST_F(SetBiosRestore, ReadOnlyFileCannotBeOpened)
{
    // Root may write any ordinary file, but not this one, which anyone may read.
    std::string path = "/sys/kernel/notes";
    if (geteuid() != 0) {
        path = restore_file("{}");
        chmod(path.c_str(), 0444);
    }
    ASSERT_EQ(0, access(path.c_str(), R_OK));
    EXPECT_FALSE(run(restore_para(path)));
    EXPECT_EQ("{open cmos file err}", result);
}

}  // namespace
