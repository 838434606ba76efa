#include <csignal>
#include <sys/resource.h>

#include "common/json_params.h"
#include "services/bios/bios_read_keys.h"
#include "services/bios/ext_bios.h"
#include "test_bios_fixture.h"

namespace {

class BiosRead : public BiosFixture {
protected:
    // GetBios's reading of `key_list` ("@" for the key prefix): the message and the status.
    std::pair<std::string, int> read(const std::string &key_list)
    {
        const BiosReadResult result = bios_read_keys(bios_keys_of(JsonParams(cmos(key_list).c_str())), BiosReadForm::get, state);
        return {result.message, result.read_status};
    }
    std::string extract_to(const std::string &path)
    {
        return ext_bios_reply(state, cmos(R"({"@ExtractFilePath": ")" + path + "\"}").c_str());
    }
    // Every auto-power mode token shares one setting in the simulator: 0 off, 1 every day,
    // 2 working days, 3 chosen days.
    void auto_power(uint32_t mode)
    {
        sim.values["AutoPower"] = mode;
        sim.values["AutoOnHour"] = 0x23;
        sim.values["AutoOnMinute"] = 0x59;
        sim.values["AutoOnFriday"] = 1;
    }
    const std::string success = R"({"result":"Success", "message": )";
};

TEST_F(BiosRead, MessageAndStatusPerKeyList)
{
    const std::tuple<std::string, std::string, int> cases[] = {
        {"[ ]", "{}", 0},
        {R"(["BiosChangeReboot"])", R"({"BiosChangeReboot":0})", 1},
        // A failed by-name read decides the status only while no later key reads.
        {R"(["@Audio", "@AdminLock"])", R"({"@Audio":"Yes","@AdminLock":"err"})", 0},
        {R"(["@AdminLock", "@Audio"])", R"({"@AdminLock":"err","@Audio":"Yes"})", 1},
        {R"(["@DeepSleep"])", "{}", 1},  // not on this model
        // An unknown key or a non-string element ends the list.
        {R"(["@Audio", "Volume", "@AdminLock"])", R"({"@Audio":"Yes"})", 1},
        {R"(["@Audio", 5, "@AdminLock"])", R"({"@Audio":"Yes"})", 1},
        {R"(["@Audio\"x\n"])", R"({"@Audio\"x\n":"err"})", 0},
    };
    set_model("K20");
    sim.values["Audio"] = 1;
    sim.faults = {{.token = 0x2BD, .status = 7}};  // AdminLock cannot be read
    for (const auto &[key_list, message, status] : cases)
        EXPECT_EQ(std::make_pair(cmos(message), status), read(key_list)) << key_list;
}

TEST_F(BiosRead, GettersRenderTheirWordsEscapedOrTheirFailure)
{
    set_model("K10X");
    install_password("p");
    sim.asset_tag = "a\"b\\cDEFG";  // two output words: eight bytes come back
    sim.values["ACRecovery"] = 2;
    sim.values["WakeOnLan"] = 3;  // without a word of its own: each getter has its rule
    sim.values["DeepSleep"] = 4;
    sim.values["Fastboot"] = 3;
    const std::string keys = R"(["@EnablePassword", "@Assettag", "@ACRecoveryMode", "@WakeOnLan", "@DeepSleep",
        "@Fastboot", "@KeyboardErrorDetection"])";
    EXPECT_EQ(cmos(R"({"@EnablePassword": "Yes","@Assettag": "a\"b\\cDEF","@ACRecoveryMode": "LastState",)"
                   R"("@WakeOnLan": "Disable","@DeepSleep": "EnabledInS4andS5","@KeyboardErrorDetection": "Disable"})"),
              read(keys).first);
    sim.faults = {{.kind = biossim::fault_bad_header}};
    EXPECT_EQ(cmos(R"({"@EnablePassword": "Error","@Assettag": "","@ACRecoveryMode": "get power err",)"
                   R"("@WakeOnLan": "get data err","@DeepSleep": "get data err","@Fastboot": "get data err"})"),
              read(keys).first);
}

TEST_F(BiosRead, AutoPowerGroupByModeAndItsFailures)
{
    const std::string time = R"("@AutoPowerHour": "23","@AutoPowerMin": "59")";
    const std::string days = R"("autoonSunday":"No","autoonMonday":"No","autoonTuesday":"No","autoonWednesday":"No",)"
                             R"("autoonThursday":"No","autoonFriday":"Yes","autoonSaturday":"No")";
    const std::tuple<uint32_t, int64_t, std::string> cases[] = {
        {0, 0, R"("1")"},  // token 0 is never read: no failure
        {1, 0, R"("2",)" + time},
        {2, 0, R"("3",)" + time},
        {3, 0, R"("4",)" + time + "," + days},
        {3, 0x28, R"("get off err")"},
        {3, 0x29, R"("get day err")"},
        {3, 0x2A, R"("get work err")"},
        {1, 0x2C, R"("2","@AutoPowerHour": "23","@AutoPowerMin": "-1")"},
        // A failed day read is no selection.
        {3, 0x319,
         R"("4",)" + time + R"(,"autoonSunday":"err","autoonMonday":"err","autoonTuesday":"err",)" +
             R"("autoonWednesday":"err","autoonThursday":"err","autoonFriday":"err","autoonSaturday":"err")"},
    };
    for (const auto &[mode, failing_token, message] : cases) {
        auto_power(mode);
        sim.faults = {{.token = failing_token, .status = 4}};
        // Any key beginning like the auto-power key reads the whole group.
        EXPECT_EQ(cmos("{\"@AutoPowerX\": " + message + "}"), read(R"(["@AutoPowerX"])").first);
    }
}

TEST_F(BiosRead, LongKeysAreReadAsTheirFirst63BytesAndStayWholeMembers)
{
    const std::string key = cmos("@Fastboot" + std::string(50, 'x'));
    EXPECT_EQ("{\"" + key.substr(0, 63) + "\": \"Minimal\"}", read("[\"" + key + "\"]").first);
    ext_bios_reply(state, ("[\"" + key + "\"]").c_str());
    EXPECT_EQ(1u, log.count(key + " length error, truncated!"));
    // Control characters take six bytes each once escaped; the member must not be cut.
    const std::string escaped = cmos("\"@ACRe" + json_escape(std::string(63 - 18, '\x01')) + "\"");
    EXPECT_EQ("[" + escaped + "]", member_names(read("[" + escaped + "]").first));

    // 26 members of 37 bytes and one of 60 fill the 1,023-byte message exactly; one byte
    // more and the last member is left out whole.
    std::string list = "[";
    for (int i = 0; i < 26; ++i)
        list += "\"@Fastbootx\", ";
    for (const size_t extra : {24u, 25u}) {
        const std::string last = "@Fastboot" + std::string(extra, 'x');
        const std::string message = read(list + "\"" + last + "\"]").first;
        EXPECT_EQ(extra == 24 ? 1023u : 1023u - 60u, message.size());
        EXPECT_EQ(extra == 24, message.find(cmos(last)) != std::string::npos);
    }
}

TEST_F(BiosRead, ExtractFileHoldsTheModelsListIn1024BytesAndItsWriteDecidesTheResult)
{
    TempHostRoot root;
    set_model("K10X");
    auto_power(3);
    const std::string path = root.file("cmos.bin");
    const std::string reply = extract_to(path);
    const std::string bytes = slurp(path), text = bytes.c_str();
    EXPECT_EQ(text + std::string(1024 - text.size(), '\0'), bytes);  // the message, then zeros to 1024 bytes
    EXPECT_EQ(success + text + "}", reply);
    // The extract list, with the auto-on time and the chosen days (one array) after the mode.
    std::string list = key_list_text(bios_extract_key_list(state.model));
    list.insert(list.find(cmos("\"@AutoPower\"")) + 25,
                cmos(R"(, "@AutoPowerHour", "@AutoPowerMin", "@AutoPowerDays")"));
    EXPECT_EQ(list, member_names(text));
    EXPECT_NE(std::string::npos, text.find(cmos(R"("@AutoPowerDays": ["Friday"])")));

    const std::string failed = R"({"result":"FAILED", "message": )";
    EXPECT_EQ(failed + text + "}", extract_to(root.path));    // a folder
    EXPECT_EQ(failed + text + "}", extract_to("/dev/full"));  // a device is never replaced by a file
    // A write that does not go through: no file may grow past 512 bytes meanwhile.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{512, saved.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_EQ(failed + text + "}", extract_to(root.file("full.bin")));
    setrlimit(RLIMIT_FSIZE, &saved);
    sim.faults = {{.token = 0x31F, .status = 4}};
    extract_to(path);
    EXPECT_NE(std::string::npos, slurp(path).find(cmos(R"("@AutoPowerDays": "err")")));
    set_model("");
    EXPECT_EQ(failed + "\"cmos: get product name err\"}", extract_to(root.file("none")));
    EXPECT_FALSE(g_file_test(root.file("none").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
