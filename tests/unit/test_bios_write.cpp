#include "services/bios/bios_primitives.h"
#include "services/bios/set_bios.h"
#include "test_bios_fixture.h"

namespace {

using Faults = std::vector<biossim::Fault>;

class BiosWrite : public BiosFixture {
protected:
    // SetBios with `para`; "@" stands for "DeviceKORACMOS" here and in restore files.
    bool run(const std::string &para)
    {
        sim.requests.clear();
        std::string result;
        return set_bios_run(state, cmos(para).c_str(), &result);
    }
};

TEST_F(BiosWrite, SettingsBecomeTheirTokenWritesForTheModel)
{
    const std::string all = R"("@OSDConfigure": 1, "@USBSidePort": 0, "@MACPASSConfigure": "no", "@Fastboot": "Auto",
        "@DeepSleep": "Disabled", "@USBFrontPort": 1, "@WakeOnUSB": 0, "@KeyboardErrorDetection": "Enable",
        "@ACRecovery": "PowerOff")";
    const std::string daily = R"("@AutoPower": "Daily", "@AutoPowerTime": )";
    const std::string days = R"("@AutoPower": "Days", "@AutoPowerDays": )";
    const auto refuse = [](int64_t token) { return Faults{{.token = token, .status = 4}}; };
    const Faults any_write = {{.cmd_class = 1, .status = 6}};
    const Strings monday_friday = {"312 3 0", "314 0 0", "315 1 0", "318 0 0", "31a 0 0",
                                   "31c 0 0", "31d 1 0", "320 0 0", "2b 0 0", "2c 0 0"};
    const Strings sunday_saturday = {"312 3 0", "313 1 0", "316 0 0", "318 0 0", "31a 0 0",
                                     "31c 0 0", "31e 0 0", "31f 1 0", "2b 23 0", "2c 45 0"};
    const std::string wednesdays = R"(["Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", "Wednesday", )";
    const Strings wednesday = {"312 3 0", "314 0 0", "316 0 0", "318 0 0", "319 1 0",
                               "31c 0 0", "31e 0 0", "320 0 0", "2b 0 0", "2c 0 0"};
    const Strings no_day = {"312 3 0", "314 0 0", "316 0 0", "318 0 0", "31a 0 0",
                            "31c 0 0", "31e 0 0", "320 0 0", "2b 0 0", "2c 0 0"};
    // Model, settings ("@" for the key prefix), faults, result, token writes.
    const std::tuple<const char *, std::string, Faults, bool, Strings> cases[] = {
        // Texts in their order, then switches in theirs; each member only on the models that read it.
        {"K10", all, {}, true, {"a1 0 0", "f6 0 0", "ec 2 0", "9d 1 0", "146 0 0", "14f 1 0"}},
        {"K60AIO", all, {}, true, {"a1 0 0", "f6 0 0", "9d 1 0", "146 0 0", "14f 1 0", "372 0 0", "41d 0 0"}},
        {"Lumen 84", all, {}, true, {"a1 0 0", "49b 2 0", "ec 2 0", "9d 1 0", "146 0 0", "14f 1 0"}},
        // Words match by their beginning and letter case; a refused word is no failure, a failed write is.
        {"", R"("@ACRecovery": "LastStateX", "@Fastboot": "minimal")", {}, true, {"a2 2 0"}},
        {"", R"("@WakeOnLan": "LANORSFPNIC")", {}, true, {"57 5 0"}},  // no SFP adapter here
        {"Lumen 81", R"("@MACPASSConfigure": "Intergrate!")", {}, true, {"49a 1 0"}},
        {"K10", R"("@ACRecovery": "PowerOff", "@Fastboot": "Minimal")", any_write, false, {"a1 0 0", "ea 0 0"}},
        {"K10", R"("@DeepSleep": "EnabledInS5Only")", any_write, false, {"30f 2 0"}},
        // The auto-on mode, then its days and time as BCD; the first failure ends the sequence.
        {"", days + R"(["Sunday", "Saturday"], "@AutoPowerTime": "23:45")", {}, true, sunday_saturday},
        {"", daily + R"("25:45")", {}, false, {"29 1 0"}},
        {"", days + R"(["Sunday", "Tuesday"])", refuse(0x317), false, {"312 3 0", "313 1 0", "316 0 0", "317 1 0"}},
        // What the request does not carry comes from the stored schedule, all 0 here.
        {"", daily + R"(" 8:30:15")", {}, true, {"29 1 0", "2b 8 0", "2c 30 0"}},
        {"", daily + R"("x:")", {}, true, {"29 1 0", "2b 0 0", "2c 0 0"}},
        {"", daily + R"("99999999999:-99999999999")", {}, false, {"29 1 0"}},
        {"", daily + R"("7")", {}, false, {}},  // no colon
        {"", daily + R"("")", {}, true, {"29 1 0", "2b 0 0", "2c 0 0"}},
        {"", days + R"("Monday")", {}, true, no_day},
        {"", days + R"(["monday", "FRIDAY", 3, "Someday"])", {}, true, monday_friday},
        // A name is cut to 63 bytes; names that no longer fit the 64-byte list they go through are dropped.
        {"", days + R"(["Monday", "Friday", ")" + std::string(70, 'x') + "\"]", {}, true, monday_friday},
        {"", days + wednesdays + R"("Sunday"])", {}, true, wednesday},
        // Switches: tokens and values of their own, inverted, or of the model.
        {"K30AIO", R"("@PXEBootSupport": 1, "@OSDConfigure": 1)", {}, true, {"2d 2 0", "372 0 0"}},
        {"K30AIO", R"("@PXEBootSupport": 0, "@OSDConfigure": 0)", {}, true, {"6e 1 0", "373 1 0"}},
        {"K20", R"("@USBRearPort": 1)", {}, true, {"1d5 1 0"}},
        {"vantor 70", R"("@USBFrontBottomPort": 0, "@SupressDockWarnMsg": 1)", {}, true, {"3a8 1 0", "3e2 0 0"}},
        {"Vantor 70", R"("@SupressDockWarnMsg": 0)", refuse(0x3A9), false, {"3a9 0 0"}},
        {"Vantor 70", R"("@Audio": 1)", {}, true, {"22 1 0"}},            // a dock warning not given is refused
        {"", R"("@Audio": 2, "@AdminLock": 1)", {}, false, {"2bd 1 0"}},  // 2 is refused
        {"", R"("@Audio": 165, "@WakeOnUSB": 1)", refuse(0x147), false, {"147 1 0"}},
    };
    for (const auto &[model, members, faults, ok, expected] : cases) {
        state.schedule = {};
        set_model(model);
        sim.faults = faults;
        EXPECT_EQ(ok, run("{" + members + "}")) << model << " " << members;
        EXPECT_EQ(expected, writes()) << model << " " << members;
    }
    // Values a setter cannot take are refused before any request.
    sim.requests.clear();
    EXPECT_EQ(-1, bios_set_deep_sleep(3, 0));
    EXPECT_EQ(-1, bios_set_auto_on_hour(24, 0));
    EXPECT_EQ(-1, bios_set_auto_on_minute(60, 0));
    EXPECT_TRUE(requests().empty());
}

TEST_F(BiosWrite, AutoOnScheduleIsKeptBetweenCallsAndWrittenInFull)
{
    const auto days_then = [](const char *monday, const char *hour, const char *minute) {
        return Strings{"312 3 0", "314 0 0", monday, "318 0 0", "31a 0 0", "31c 0 0", "31e 0 0", "320 0 0", hour, minute};
    };
    // Calls in order, each with the token writes it makes.
    const std::pair<std::string, Strings> calls[] = {
        {R"({"@AutoPowerTime": "7:30"})", {}},
        {R"({"@AutoPowerDays": ["Monday"]})", {}},
        {R"({"@AutoPower": "Days"})", days_then("315 1 0", "2b 7 0", "2c 30 0")},
        {R"({"@AutoPower": "Workday", "@AutoPowerTime": "6:05"})", {"2a 2 0", "2b 6 0", "2c 5 0"}},
        {R"({"@AutoPower": "Daily"})", {"29 1 0", "2b 6 0", "2c 5 0"}},
        {R"({"@AutoPowerDays": ["Sunday"], "@AutoPowerTime": "9"})", {}},  // refused whole: nothing kept
        {R"({"@AutoPower": "Days"})", days_then("315 1 0", "2b 6 0", "2c 5 0")},
    };
    for (const auto &[para, expected] : calls) {
        run(para);
        EXPECT_EQ(expected, writes()) << para;
    }
}

TEST_F(BiosWrite, PasswordDecidesWhatIsWrittenAndIsNeitherCutNorLogged)
{
    EXPECT_TRUE(run("Audio=1"));                                      // no object: nothing to write
    EXPECT_TRUE(run(R"({"@NewPassword": "Secret7", "@Audio": 7})"));  // the change decides the result
    EXPECT_EQ("Secret7", sim.password);
    for (const char *para : {"Audio=1", R"({"@CurrentPassword": "guess", "@Audio": 1, "@NewPassword": "x"})",
                             R"({"@NewPassword": "second"})"}) {
        EXPECT_FALSE(run(para)) << para;
        EXPECT_TRUE(writes().empty()) << para;
    }
    sim.faults = {{.kind = biossim::fault_read_error, .cmd_class = 10, .cmd_select = 4}};  // cannot verify
    EXPECT_FALSE(run(R"({"@CurrentPassword": "Secret7", "@Audio": 1})"));
    EXPECT_TRUE(writes().empty());
    sim.faults.clear();
    sim.max_len = 8;
    EXPECT_FALSE(run(R"({"@CurrentPassword": "Secret7", "@NewPassword": "muchtoolong"})"));
    EXPECT_EQ("Secret7", sim.password);
    // Too long for its member: refused before the BIOS is asked anything.
    for (const char *member : {"@CurrentPassword", "@NewPassword"}) {
        EXPECT_FALSE(run("{\"" + std::string(member) + "\": \"" + std::string(64, 'q') + "\"}"));
        EXPECT_TRUE(requests().empty()) << member;
    }
    EXPECT_EQ(0u, log.count("qqqq") + log.count("Secret7"));
    // One blank removes the password; the request record that carried it is wiped once sent.
    EXPECT_TRUE(run(R"({"@CurrentPassword": "Secret7", "@NewPassword": " "})"));
    EXPECT_FALSE(sim.password_installed);
    EXPECT_EQ(std::string(record_size, '\0'), std::string(record, record_size));
}

class BiosRestore : public BiosWrite {
protected:
    // SetBios restoring from an extract file of `size` bytes that begins with `text`.
    bool restore(std::string text, const std::string &password = "", size_t size = 1024)
    {
        text = cmos(text);
        text.resize(size, '\0');
        put(dir.file("cmos.json"), text);
        return run(para(dir.file("cmos.json"), password));
    }
    static std::string para(const std::string &path, const std::string &password = "")
    {
        return R"({"@RestoreFilePath": ")" + path + R"(", "@RestorePassword": ")" + password + "\"}";
    }
    TempDir dir;
};

TEST_F(BiosRestore, FileIsTheSettingsObjectAndWhatTheExtractCouldNotReadIsNeverWritten)
{
    install_password("secret");
    sim.security_key = 0x5EED;
    const std::string time = R"("@AutoPowerHour": "8", "@AutoPowerMin": "30")";
    EXPECT_FALSE(restore(R"({"@Audio": 0})"));
    EXPECT_TRUE(restore(R"({"@AutoPower": "Daily", "@AutoPowerTime": "9", )" + time + R"(, "@Audio": 0})", "secret"));
    EXPECT_EQ((Strings{"29 1 5eed", "2b 8 5eed", "2c 30 5eed", "23 0 5eed"}), writes());
    sim.password_installed = false;
    const Strings no_day = {"312 3 0", "314 0 0", "316 0 0", "318 0 0", "31a 0 0",
                            "31c 0 0", "31e 0 0", "320 0 0", "2b 8 0", "2c 30 0"};
    const std::pair<std::string, Strings> cases[] = {
        // An empty day selection is no day.
        {R"({"@AutoPower": "Days", )" + time + R"(, "@AutoPowerDays": []})", no_day},
        // Days or a time the extract could not read leave mode, time, days and the stored schedule alone.
        {R"({"@AutoPower": "Days", "@AutoPowerHour": "9", "@AutoPowerMin": "5", "@AutoPowerDays": "err"})", {}},
        {R"({"@AutoPower": "Days", "@AutoPowerHour": "-1", "@AutoPowerMin": "5", "@AutoPowerDays": ["Monday"],
             "@Audio": 1})",
         {"22 1 0"}},
        // A file without a time or days writes the stored ones.
        {R"({"@AutoPower": "Days", "@AutoPowerHour": "", "@AutoPowerMin": ""})", no_day},
        {R"({"@Audio": "err", "@AdminLock": 0, "@WakeOnUSB": null, "@Fastboot": "get data err"})", {"2be 0 0"}},
    };
    for (const auto &[file, expected] : cases) {
        EXPECT_TRUE(restore(file)) << file;  // skipping is no failure
        EXPECT_EQ(expected, writes()) << file;
    }
}

TEST_F(BiosRestore, FileThatCannotBeUsedWritesNothing)
{
    const std::string at_limit = "/" + std::string(54, 'p');
    EXPECT_FALSE(run(para(at_limit + "q")));                           // path too long
    EXPECT_FALSE(run(para(at_limit)));                                 // missing
    EXPECT_FALSE(run(para(dir.path)));                                 // a folder
    EXPECT_FALSE(restore("{\"@Audio\": 1" + std::string(1024, ' ')));  // no end within 1024 bytes
    EXPECT_FALSE(restore("{}", std::string(64, 'r')));                 // a password too long for its member
    EXPECT_TRUE(requests().empty());
    // A file shorter than 1024 bytes ends where it ends.
    EXPECT_TRUE(restore("{\"@Audio\": 1}", "", 26));
    EXPECT_EQ(Strings{"22 1 0"}, writes());
}

}  // namespace
