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
    }

    Strings writes() const { return requests_starting("appwrite 1 "); }

    bool write_text(BiosText setting, const char *value)
    {
        return bios_write_text_setting(setting, value, schedule, KEY, &result);
    }

    std::string result;
    AutoOnSchedule schedule;
};

// Writers -----------------------------------------------------------------------------------

TEST_F(BiosWrite, TextWordsMatchByPrefixAndCase)
{
    const struct {
        BiosText setting;
        const char *value;
        Strings writes;
        const char *fragment;
    } cases[] = {
        {BiosText::ac_recovery, "poweron", {}, "{KoraCMOSPowerLoss: input err}"},
        {BiosText::ac_recovery, "LastStateX", {write(0xA2, 2)}, "{KoraCMOSACRecovery: ok}"},
        {BiosText::wake_on_lan, "LANORSFPNIC", {write(0x57, 5)}, "{KoraCMOSWakeOnLAN: ok}"},
        {BiosText::mac_pass, "Intergrate!", {write(0x49A, 1)}, "{KoraCMOSMACPASSConfigure: ok}"},
        {BiosText::post_time, "7seconds", {}, "{Extended Bios POST Time: input err}"},
        {BiosText::auto_power, "Workday", {write(0x2A, 2)}, "{KoraCMOSAutoPower: ok}"},
    };
    set_model("K10");
    for (const auto &c : cases) {
        sim.requests.clear();
        result.clear();
        // A refused word is no failure: only a failed write counts.
        EXPECT_TRUE(write_text(c.setting, c.value)) << c.value;
        EXPECT_EQ(c.writes, writes()) << c.value;
        EXPECT_EQ(c.fragment, result) << c.value;
    }
}

TEST_F(BiosWrite, TextWritesReportTheirOutcome)
{
    {
        StdoutCapture out;
        EXPECT_TRUE(write_text(BiosText::ac_recovery, "LastState"));
        EXPECT_EQ("SMBIOS: smbios_setPowerLoss is done to set 2\n", out.text());
    }
    result.clear();
    StdoutCapture out;
    add_fault(biossim::FAULT_STATUS, -1, 6);
    EXPECT_FALSE(write_text(BiosText::ac_recovery, "PowerOff"));
    EXPECT_FALSE(write_text(BiosText::fastboot, "Minimal"));
    EXPECT_FALSE(write_text(BiosText::deep_sleep, "Disabled"));
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
    EXPECT_TRUE(write_text(BiosText::wake_on_lan, "LANORSFPNIC"));
    ASSERT_EQ(0, g_mkdir_with_parents((root.path() + "/compat/linux/sys/class/net/re1").c_str(), 0755));
    EXPECT_TRUE(write_text(BiosText::wake_on_lan, "LANORSFPNIC"));
    EXPECT_EQ((Strings{write(0x57, 5), write(0x464, 9)}), writes());
}

TEST_F(BiosWrite, AutoPowerWritesItsSequenceAndStopsAtTheFirstFailure)
{
    schedule = {0x41, 23, 45};
    EXPECT_TRUE(write_text(BiosText::auto_power, "Days"));
    EXPECT_EQ((Strings{write(0x312, 3), write(0x313, 1), write(0x316, 0), write(0x318, 0), write(0x31A, 0),
                       write(0x31C, 0), write(0x31E, 0), write(0x31F, 1), write(0x2B, 0x23), write(0x2C, 0x45)}),
              writes());

    sim.requests.clear();
    result.clear();
    schedule.hour = 25;
    EXPECT_FALSE(write_text(BiosText::auto_power, "Daily"));
    EXPECT_EQ((Strings{write(0x29, 1)}), writes());
    EXPECT_EQ("{KoraCMOSAutoPower: set err}", result);
    EXPECT_EQ(1u, log.count_containing("SMBIOS: input Hour value error"));
    EXPECT_EQ(1u, log.count_containing("D bios: autopower set err"));

    sim.requests.clear();
    schedule.days = 0x7F;
    add_fault(biossim::FAULT_STATUS, 0x317, 8);  // Tuesday on
    EXPECT_FALSE(write_text(BiosText::auto_power, "Days"));
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

TEST_F(SetBios, ScheduleComesFromTheRequestAlone)
{
    const struct {
        const char *members;
        bool ok;
        Strings writes;
    } cases[] = {
        {R"("DeviceKORACMOSAutoPowerTime": "7:05")", true, {write(0x29, 1, 0), write(0x2B, 7, 0), write(0x2C, 5, 0)}},
        {R"("DeviceKORACMOSAutoPowerTime": "7")", false, {}},
        {R"("DeviceKORACMOSAutoPowerTime": " 8:30:15")",
         true,
         {write(0x29, 1, 0), write(0x2B, 8, 0), write(0x2C, 0x30, 0)}},
        {R"("DeviceKORACMOSAutoPowerTime": "x:")", true, {write(0x29, 1, 0), write(0x2B, 0, 0), write(0x2C, 0, 0)}},
        // Without a time of its own the request leaves the BIOS's time alone.
        {R"("DeviceKORACMOSAutoPowerTime": "")", true, {write(0x29, 1, 0)}},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        EXPECT_EQ(c.ok, run(std::string(R"({"DeviceKORACMOSAutoPower": "Daily", )") + c.members + "}")) << c.members;
        EXPECT_EQ(c.writes, writes()) << c.members;
    }
    EXPECT_EQ(1u, log.count_containing("D bios: get timelist err"));
}

TEST_F(SetBios, DayListOfTheRequest)
{
    const auto days = [](std::initializer_list<int> on) {
        Strings out{write(0x312, 3, 0)};
        for (int bit = 0; bit < 7; ++bit) {
            const bool set = std::find(on.begin(), on.end(), bit) != on.end();
            out.push_back(write(set ? 0x313 + 2 * bit : 0x314 + 2 * bit, set ? 1 : 0, 0));
        }
        return out;
    };
    const struct {
        const char *list;
        Strings writes;
    } cases[] = {
        {R"(["monday", "FRIDAY", 3])", days({1, 5})},
        {R"(["Someday"])", days({})},
        // An empty list and a list that is no list leave the days alone.
        {"[]", {write(0x312, 3, 0)}},
        {R"("Monday")", {write(0x312, 3, 0)}},
        // Names that no longer fit the list are dropped.
        {R"(["Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", "Sunday"])", days({3})},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        EXPECT_TRUE(
            run(std::string(R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerDays": )") + c.list + "}"))
            << c.list;
        EXPECT_EQ(c.writes, writes()) << c.list;
    }
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
    EXPECT_EQ(
        (Strings{write(0xA1, 0, 0), write(0x28, 0, 0), write(0x9D, 1, 0), write(0x146, 0, 0), write(0x14F, 1, 0)}),
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

TEST_F(SetBios, PasswordsAreNeitherCutNorLoggedNorKept)
{
    const std::string too_long(64, 'q');
    for (const char *member : {"DeviceKORACMOSCurrentPassword", "DeviceKORACMOSNewPassword"}) {
        sim.requests.clear();
        EXPECT_FALSE(run("{\"" + std::string(member) + "\": \"" + too_long + "\", \"DeviceKORACMOSAudio\": 1}"));
        EXPECT_EQ("{Password err}", result);
        EXPECT_TRUE(requests().empty()) << member;
    }
    EXPECT_TRUE(run(R"({"DeviceKORACMOSNewPassword": "Secret7"})"));
    EXPECT_TRUE(run(R"({"DeviceKORACMOSCurrentPassword": "Secret7", "DeviceKORACMOSAudio": 1})"));
    EXPECT_EQ("Secret7", sim.password);
    for (const auto &line : log.lines())
        EXPECT_TRUE(line.find("qqqq") == std::string::npos && line.find("Secret7") == std::string::npos) << line;
    // The request record that carried the password is wiped once exchanged.
    ASSERT_NE(nullptr, last_record);
    EXPECT_EQ(std::string(last_record_size, '\0'), std::string(last_record, last_record_size));
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
    EXPECT_EQ((Strings{write(0x29, 1), write(0x2B, 8), write(0x2C, 0x30), write(0x23, 0)}), writes());
    EXPECT_EQ(2u, log.count_containing("D bios: cmos read ret value is 1024"));
}

TEST_F(SetBiosRestore, WhatTheExtractCouldNotReadIsNeverWritten)
{
    set_model("K10");
    const struct {
        const char *file;
        Strings writes;
        const char *skipped;
    } cases[] = {
        // An empty day selection is no day; one the extract could not read leaves the days.
        {R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerHour": "6", "DeviceKORACMOSAutoPowerMin": "0",
             "DeviceKORACMOSAutoPowerDays": []})",
         {write(0x312, 3, 0), write(0x314, 0, 0), write(0x316, 0, 0), write(0x318, 0, 0), write(0x31A, 0, 0),
          write(0x31C, 0, 0), write(0x31E, 0, 0), write(0x320, 0, 0), write(0x2B, 6, 0), write(0x2C, 0, 0)},
         nullptr},
        {R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerHour": "6", "DeviceKORACMOSAutoPowerMin": "0",
             "DeviceKORACMOSAutoPowerDays": "err"})",
         {write(0x312, 3, 0), write(0x2B, 6, 0), write(0x2C, 0, 0)},
         "DeviceKORACMOSAutoPowerDays skipped"},
        // A time the extract could not read leaves mode, time and days alone.
        {R"({"DeviceKORACMOSAutoPower": "Days", "DeviceKORACMOSAutoPowerHour": "-1", "DeviceKORACMOSAutoPowerMin": "5",
             "DeviceKORACMOSAutoPowerDays": ["Monday"], "DeviceKORACMOSAudio": 1})",
         {write(0x22, 1, 0)},
         "DeviceKORACMOSAutoPower skipped"},
        {R"({"DeviceKORACMOSAudio": "err", "DeviceKORACMOSAdminLock": 0})",
         {write(0x2BE, 0, 0)},
         "DeviceKORACMOSAudio skipped"},
        {R"({"DeviceKORACMOSFastboot": "get data err", "DeviceKORACMOSAutoPower": "get off err"})",
         {},
         "DeviceKORACMOSFastboot skipped"},
        {R"({"DeviceKORACMOSWakeOnUSB": null, "DeviceKORACMOSACRecovery": 2})", {}, "DeviceKORACMOSWakeOnUSB skipped"},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        // Skipping is no failure: the other members still decide the result.
        EXPECT_TRUE(run(restore_para(restore_file(c.file)))) << c.file;
        EXPECT_EQ(c.writes, writes()) << c.file;
        EXPECT_EQ(c.skipped ? 1u : 0u, log.count_containing(c.skipped ? c.skipped : " skipped: ")) << c.file;
    }
    EXPECT_EQ(1u, log.count_containing("DeviceKORACMOSAutoPower skipped: not read when extracted"));
    EXPECT_EQ(1u, log.count_containing("DeviceKORACMOSACRecovery skipped: not a text"));
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
    // A restore password that does not fit is refused before the BIOS is asked anything.
    sim.requests.clear();
    EXPECT_FALSE(run(restore_para(restore_file("{}"), std::string(64, 'r').c_str())));
    EXPECT_EQ("{Password err}", result);
    EXPECT_TRUE(requests().empty());
    // A file shorter than the buffer still ends in it.
    EXPECT_TRUE(run(restore_para(restore_file("{\"DeviceKORACMOSAudio\": 1}", 26))));
    EXPECT_EQ((Strings{write(0x22, 1, 0)}), writes());
}

}  // namespace
