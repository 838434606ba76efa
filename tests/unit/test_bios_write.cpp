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

TEST_F(BiosWrite, TextWordsMatchByPrefixAndCase)
{
    const struct {
        BiosTextSetting setting;
        const char *value;
        Strings writes;
        const char *fragment;
    } cases[] = {
        {BIOS_TEXT_AC_RECOVERY, "poweron", {}, "{KoraCMOSPowerLoss: input err}"},
        {BIOS_TEXT_AC_RECOVERY, "LastStateX", {write(0xA2, 2)}, "{KoraCMOSACRecovery: ok}"},
        {BIOS_TEXT_WAKE_ON_LAN, "LANORSFPNIC", {write(0x57, 5)}, "{KoraCMOSWakeOnLAN: ok}"},
        {BIOS_TEXT_MAC_PASS, "Intergrate!", {write(0x49A, 1)}, "{KoraCMOSMACPASSConfigure: ok}"},
        {BIOS_TEXT_POST_TIME, "7seconds", {}, "{Extended Bios POST Time: input err}"},
        {BIOS_TEXT_AUTO_POWER, "Workday", {write(0x2A, 2), write(0x2B, 0), write(0x2C, 0)}, "{KoraCMOSAutoPower: ok}"},
    };
    set_model("K10");
    for (const auto &c : cases) {
        sim.requests.clear();
        result.clear();
        // A refused word is no failure: only a failed write counts.
        EXPECT_TRUE(bios_write_text_setting(c.setting, c.value, KEY, &result)) << c.value;
        EXPECT_EQ(c.writes, writes()) << c.value;
        EXPECT_EQ(c.fragment, result) << c.value;
    }
}

TEST_F(BiosWrite, TextWritesReportTheirOutcome)
{
    {
        StdoutCapture out;
        EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_AC_RECOVERY, "LastState", KEY, &result));
        EXPECT_EQ("SMBIOS: smbios_setPowerLoss is done to set 2\n", out.text());
    }
    result.clear();
    StdoutCapture out;
    add_fault(biossim::FAULT_STATUS, -1, 6);
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_AC_RECOVERY, "PowerOff", KEY, &result));
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_FASTBOOT, "Minimal", KEY, &result));
    EXPECT_FALSE(bios_write_text_setting(BIOS_TEXT_DEEP_SLEEP, "Disabled", KEY, &result));
    EXPECT_EQ("{KoraCMOSPowerLoss: set err}{Fastboot: set err}{DeepSleep: set err}", result);
    EXPECT_EQ("SMBIOS: set ac power error\n", out.text());
    for (const char *line : {"D bios: powerloss set err", "D bios: SMBIOS: Set FastBoot error..., return value 6",
                             "D bios: SMBIOS: set deepsleep 6", "D bios: deepsleep set err"})
        EXPECT_EQ(1u, log.count_containing(line)) << line;
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

TEST_F(BiosWrite, AutoPowerWritesItsSequenceAndStopsAtTheFirstFailure)
{
    auto_on_days = 0x41;
    auto_on_hour = 23;
    auto_on_minute = 45;
    EXPECT_TRUE(bios_write_text_setting(BIOS_TEXT_AUTO_POWER, "Days", KEY, &result));
    EXPECT_EQ((Strings{write(0x312, 3), write(0x313, 1), write(0x316, 0), write(0x318, 0), write(0x31A, 0),
                       write(0x31C, 0), write(0x31E, 0), write(0x31F, 1), write(0x2B, 0x23), write(0x2C, 0x45)}),
              writes());

    sim.requests.clear();
    result.clear();
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

TEST_F(BiosWrite, SwitchesOnOffInvertedAndSecureBootNeverOff)
{
    // Audio, the PXE row (its own values), the inverted OSD row, secure boot.
    const struct {
        size_t index;
        Strings on_off;
    } cases[] = {
        {1, {write(0x22, 1), write(0x23, 0)}},
        {9, {write(0x2D, 2), write(0x6E, 1)}},
        {12, {write(0x372, 0), write(0x373, 1)}},
        {11, {write(0x34F, 1)}},  // reads as on now: never switched off
    };
    set_model("K10");
    for (const auto &c : cases) {
        sim.requests.clear();
        EXPECT_TRUE(bios_write_switch(c.index, 1, KEY, &result)) << bios_switch_member(c.index);
        EXPECT_TRUE(bios_write_switch(c.index, 0, KEY, &result)) << bios_switch_member(c.index);
        EXPECT_EQ(c.on_off, writes()) << bios_switch_member(c.index);
    }
    EXPECT_EQ(0u, result.rfind("{KoraCMOSAudio: set ok}{KoraCMOSAudio: set ok}", 0)) << result;

    const struct {
        const char *model;
        size_t index;
        int value;
        std::string request;
    } variants[] = {
        {"K20", 3, 0, write(0x1D4, 0)},       {"K10", 3, 0, write(0x41B, 0)},
        {"Vantor 70", 4, 1, write(0x3E5, 1)}, {"Vantor 70", 5, 0, write(0x3E6, 0)},
        {"vantor 70", 7, 0, write(0x3E2, 0)}, {"K20", 7, 0, write(0x3E8, 0)},
    };
    for (const auto &c : variants) {
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
    for (const char *line : {"D bios: set audio input value err", "D bios: osd input value err",
                             "D bios: SMBIOS: set side top usb 4", "D bios: side top usb set err"})
        EXPECT_EQ(1u, log.count_containing(line)) << line;
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

TEST_F(SetBios, EmptyOrUnparsableRequestsWriteNothing)
{
    EXPECT_TRUE(run("{}"));
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n"}), requests());
    EXPECT_EQ(1u, log.count_containing("D bios: set bios command is executed."));
    EXPECT_NE(std::string::npos, log.lines().back().find("D bios: final result: "));

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

TEST_F(SetBios, TimeText)
{
    const struct {
        const char *time;
        bool ok;
        int hour, minute;
    } cases[] = {{"7:05", true, 7, 5}, {"7", false, 99, 99}, {"7:", true, 7, 0}, {" 8:30:15", true, 8, 30},
                 {"x:y", true, 0, 0}};
    for (const auto &c : cases) {
        sim.requests.clear();
        const size_t logged = log.count_containing("D bios: get timelist err");
        auto_on_hour = auto_on_minute = 99;
        EXPECT_EQ(c.ok, run(std::string(R"({"DeviceKORACMOSAudio": 1, "DeviceKORACMOSAutoPowerTime": ")") + c.time +
                            "\"}"))
            << c.time;
        EXPECT_EQ(c.hour, auto_on_hour) << c.time;
        EXPECT_EQ(c.minute, auto_on_minute) << c.time;
        EXPECT_EQ(c.ok ? 1u : 0u, writes().size()) << c.time;
        EXPECT_EQ(c.ok ? logged : logged + 1, log.count_containing("D bios: get timelist err")) << c.time;
    }
}

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
    EXPECT_EQ((Strings{write(0xA1, 0, 0), write(0x28, 0, 0), write(0x9D, 1, 0), write(0x146, 0, 0),
                       write(0x14F, 1, 0)}),
              writes());
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
    std::string restore_file(const std::string &text, size_t size = 1024, const char *name = "cmos.json")
    {
        std::string bytes(size, '\0');
        bytes.replace(0, std::min(text.size(), size), text.substr(0, size));
        const std::string path = dir.file(name);
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
    const std::string text_to_the_end = "{\"DeviceKORACMOSAudio\": 1" + std::string(1024, ' ');
    // A file anyone may read but this process may not write (root may write any ordinary file).
    std::string read_only = "/sys/kernel/notes";
    if (geteuid() != 0) {
        read_only = restore_file("{}", 1024, "read-only.json");
        chmod(read_only.c_str(), 0444);
    }
    ASSERT_EQ(0, access(read_only.c_str(), R_OK));
    const struct {
        std::string para;
        const char *result;
        const char *log;
    } cases[] = {
        {restore_para(at_limit + "q"), "{cmos file len err}", "D bios: cmos file name too large err"},
        {restore_para(at_limit), "{open cmos file err}", "D bios: open cmos file name err,err is "},
        {restore_para(dir.path()), "{open cmos file err}", "D bios: open cmos file name err,err is "},
        {restore_para(read_only), "{open cmos file err}", "D bios: open cmos file name err,err is "},
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

}  // namespace
