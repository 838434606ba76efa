#include <functional>

#include "services/bios/bios_primitives.h"
#include "test_bios_fixture.h"

namespace {

class BiosPrimitives : public BiosFixture {
protected:
    char fragment[bios_fragment_size] = {};
};

TEST_F(BiosPrimitives, SettersChooseTheirTokenByValueAndCheckTheirArgumentsFirst)
{
    const struct {
        std::function<int()> set;
        int result;
        const char *request;  // nullptr: none sent
    } cases[] = {
        {[] { return bios_set_pxe_nic1(1, 0x42); }, 0, "appwrite 1 0 2d 2 42 0\n"},
        {[] { return bios_set_pxe_nic1(0, 0x42); }, 0, "appwrite 1 0 6e 1 42 0\n"},
        {[] { return bios_set_deep_sleep(2, 0x42); }, 0, "appwrite 1 0 30f 2 42 0\n"},
        {[] { return bios_set_deep_sleep(3, 0x42); }, -1, nullptr},
        {[] { return bios_set_wake_on_usb(0, 0); }, 0, "appwrite 1 0 146 0 0 0\n"},
        {[] { return bios_set_auto_on_hour(23, 0); }, 0, "appwrite 1 0 2b 23 0 0\n"},  // BCD
        {[] { return bios_set_auto_on_hour(24, 0); }, -1, nullptr},
        {[] { return bios_set_auto_on_minute(-1, 0); }, -1, nullptr},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        EXPECT_EQ(c.result, c.set()) << c.request;
        EXPECT_EQ(c.request ? Strings{c.request} : Strings{}, requests()) << c.request;
    }
    sim.faults = {{.status = 9}};
    EXPECT_EQ(-1, bios_set_wake_on_usb(1, 0));
    EXPECT_EQ(-1, bios_set_auto_on_minute(7, 0));
}

TEST_F(BiosPrimitives, NumbersAreReadAsBcdAndTheDayMaskDayByDay)
{
    sim.values["AutoOnMinute"] = 0x45;
    sim.values["AutoOnSunday"] = 1;
    sim.values["AutoOnMonday"] = 2;  // only bit 0 of a day's value counts
    sim.values["AutoOnSaturday"] = 1;
    EXPECT_EQ(45, bios_get_auto_on_minute());
    EXPECT_EQ(0x41, bios_get_auto_on_days());
    EXPECT_EQ(9u, requests().size());  // the day control, then the seven days
    sim.faults = {{.token = 0x319, .status = 7}, {.token = 0x2C, .status = 4}};
    sim.requests.clear();
    EXPECT_EQ(-1, bios_get_auto_on_days());
    EXPECT_EQ(5u, requests().size());  // nothing after Wednesday
    EXPECT_EQ(-1, bios_get_auto_on_minute());
}

TEST_F(BiosPrimitives, FragmentGettersRenderTheirWordsOrTheirFailure)
{
    using Getter = int (*)(const char *, char *);
    const struct {
        Getter getter;
        const char *setting;
        uint32_t value;
        bool read_fails;
        int result;
        const char *text;  // nullptr: the fragment is left as it was
    } cases[] = {
        {bios_get_ac_recovery, "ACRecovery", 2, false, 0, "LastState"},
        {bios_get_ac_recovery, "ACRecovery", 2, true, -1, "get power err"},
        // A value without a word of its own follows each getter's rule.
        {bios_get_wake_on_lan, "WakeOnLan", 3, false, 0, "Disable"},
        {bios_get_deep_sleep, "DeepSleep", 4, false, 0, "EnabledInS4andS5"},
        {bios_get_fastboot, "Fastboot", 3, false, 0, nullptr},
        {bios_get_fastboot, "Fastboot", 1, true, -1, "get data err"},
        {bios_get_keyboard_error_reporting, "KeyboardErrorDetection", 1, true, -1, nullptr},
    };
    for (const auto &c : cases) {
        sim.values[c.setting] = c.value;
        sim.faults = c.read_fails ? std::vector<biossim::Fault>{{}} : std::vector<biossim::Fault>{};
        strcpy(fragment, "before");
        const std::string key = std::string("DeviceKORACMOS") + c.setting;
        EXPECT_EQ(c.result, c.getter(key.c_str(), fragment)) << c.setting;
        EXPECT_EQ(c.text ? "\"" + key + "\": \"" + c.text + "\"," : "before", fragment) << c.setting;
    }
}

TEST_F(BiosPrimitives, PasswordStateAndAssetTagAreEscapedTextsOfTheBios)
{
    const char *key = "Key";
    EXPECT_EQ(0, bios_get_admin_password_state(key, fragment));
    EXPECT_STREQ("\"Key\": \"No\",", fragment);
    install_password("p");
    EXPECT_EQ(0, bios_get_admin_password_state(key, fragment));
    EXPECT_STREQ("\"Key\": \"Yes\",", fragment);
    // The tag comes from the output words, lowest byte first; it cannot break the reply.
    sim.asset_tag = "a\"b\\cDEFG";
    EXPECT_EQ(0, bios_get_asset_tag(key, fragment));
    EXPECT_STREQ("\"Key\": \"a\\\"b\\\\cDEF\",", fragment);
    sim.faults = {{.kind = biossim::FAULT_BAD_HEADER}};
    EXPECT_EQ(-1, bios_get_admin_password_state(key, fragment));
    EXPECT_STREQ("\"Key\": \"Error\",", fragment);
    EXPECT_EQ(-1, bios_get_asset_tag(key, fragment));
    EXPECT_STREQ("\"Key\": \"\",", fragment);
    // A key longer than the fragment buffer is cut to it.
    sim.faults.clear();
    EXPECT_EQ(0, bios_get_fastboot(std::string(bios_fragment_size, 'k').c_str(), fragment));
    EXPECT_EQ(bios_fragment_size - 1, strlen(fragment));
}

}  // namespace
