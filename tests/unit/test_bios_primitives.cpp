#include "services/bios/bios_primitives.h"
#include "test_bios_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class BiosPrimitives : public BiosFixture {
protected:
    char fragment[bios_fragment_size] = {};
};

TEST_F(BiosPrimitives, SettersChooseTheirTokenByValueAndCarryTheKey)
{
    EXPECT_EQ(0, bios_set_pxe_nic1(1, 0x42));
    EXPECT_EQ(0, bios_set_pxe_nic1(0, 0x42));
    EXPECT_EQ(0, bios_set_deep_sleep(0, 0x42));
    EXPECT_EQ(0, bios_set_deep_sleep(2, 0x42));
    EXPECT_EQ(0, bios_set_deep_sleep(4, 0x42));
    EXPECT_EQ((Strings{"appwrite 1 0 2d 2 42 0\n", "appwrite 1 0 6e 1 42 0\n", "appwrite 1 0 f6 0 42 0\n",
                       "appwrite 1 0 30f 2 42 0\n", "appwrite 1 0 f5 4 42 0\n"}),
              requests());

    sim.requests.clear();
    StdoutCapture out;
    EXPECT_EQ(0, bios_set_wake_on_usb(1, 0));
    EXPECT_EQ(0, bios_set_wake_on_usb(0, 0));
    add_fault(biossim::FAULT_STATUS, 0x147, 9);
    EXPECT_EQ(-1, bios_set_wake_on_usb(1, 0));
    EXPECT_EQ("SMBIOS: set 1 to wakeonusb\nSMBIOS: set 0 to wakeonusb\nSMBIOS: set wake on USB error 9\n", out.text());
    EXPECT_EQ((Strings{"appwrite 1 0 147 1 0 0\n", "appwrite 1 0 146 0 0 0\n", "appwrite 1 0 147 1 0 0\n"}),
              requests());
}

TEST_F(BiosPrimitives, FailedWritesLogTheBiosStatus)
{
    add_fault(biossim::FAULT_STATUS, -1, 5);
    EXPECT_EQ(-1, bios_set_usb_boot_support(0, 1));
    EXPECT_EQ(-1, bios_set_pxe_nic1(0, 1));
    EXPECT_EQ(-1, bios_set_deep_sleep(4, 1));
    EXPECT_EQ(-1, bios_set_auto_on_minute(7, 1));
    for (const char *line :
         {"D bios: SMBIOS: set Boot from USB support error 5", "D bios: SMBIOS: set PXE NIC1 error 5",
          "D bios: SMBIOS: set deepsleep 5", "D bios: SMBIOS: set Auto On Minute error 5"})
        EXPECT_EQ(1u, log.count_containing(line)) << line;
    // An exchange that fails reports status 0.
    sim.faults.clear();
    add_fault(biossim::FAULT_READ_ERROR);
    EXPECT_EQ(-1, bios_set_front_bottom_usb(1, 1));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: set front bottom usb medium 0"));
}

TEST_F(BiosPrimitives, ArgumentsAreCheckedBeforeAnyRequest)
{
    EXPECT_EQ(-1, bios_set_deep_sleep(1, 0));
    EXPECT_EQ(-1, bios_set_deep_sleep(3, 0));
    EXPECT_EQ(2u, log.count_containing("SMBIOS: smbios deepsleep Invalid Setting"));
    EXPECT_EQ(-1, bios_set_auto_on_hour(24, 0));
    EXPECT_EQ(-1, bios_set_auto_on_hour(-1, 0));
    EXPECT_EQ(2u, log.count_containing("SMBIOS: input Hour value error"));
    EXPECT_EQ(-1, bios_set_auto_on_minute(60, 0));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: input Minute value error"));
    EXPECT_TRUE(requests().empty());
}

TEST_F(BiosPrimitives, AutoOnTimeTravelsAsBcd)
{
    EXPECT_EQ(0, bios_set_auto_on_hour(23, 0));
    EXPECT_EQ(0, bios_set_auto_on_minute(59, 0));
    EXPECT_EQ((Strings{"appwrite 1 0 2b 23 0 0\n", "appwrite 1 0 2c 59 0 0\n"}), requests());

    sim.values["AutoOnMinute"] = 0x45;
    sim.values["AutoOnHour"] = 0x7;
    EXPECT_EQ(45, bios_get_auto_on_minute());
    EXPECT_EQ(7, bios_get_auto_on_hour());
    add_fault(biossim::FAULT_STATUS, 0x2C, 4);
    EXPECT_EQ(-1, bios_get_auto_on_minute());
    EXPECT_EQ(1u, log.count_containing("SMBIOS: get Auto minutes device value error 4"));
}

TEST_F(BiosPrimitives, DayMaskReadsEveryDayInOrder)
{
    sim.values["AutoOnSunday"] = 1;
    sim.values["AutoOnMonday"] = 2;  // only bit 0 of a day's value counts
    sim.values["AutoOnSaturday"] = 1;
    EXPECT_EQ(0x41, bios_get_auto_on_days());
    EXPECT_EQ((Strings{"appwrite 0 0 312 3 0 0\n", "appwrite 0 0 313 0 0 0\n", "appwrite 0 0 315 0 0 0\n",
                       "appwrite 0 0 317 0 0 0\n", "appwrite 0 0 319 0 0 0\n", "appwrite 0 0 31b 0 0 0\n",
                       "appwrite 0 0 31d 0 0 0\n", "appwrite 0 0 31f 0 0 0\n"}),
              requests());

    sim.requests.clear();
    add_fault(biossim::FAULT_STATUS, 0x319, 7);
    EXPECT_EQ(-1, bios_get_auto_on_days());
    EXPECT_EQ(5u, requests().size());  // nothing after Wednesday
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: set Day Control Enable WED error 7"));
}

using FragmentGetter = int (*)(const char *, char *);

TEST_F(BiosPrimitives, FragmentGettersRenderTheirWordsOrTheirFailure)
{
    const struct {
        FragmentGetter getter;
        const char *setting;
        uint32_t value;
        int status;
        const char *text;  // nullptr: the fragment is left as it was
    } cases[] = {
        {bios_get_ac_recovery, "ACRecovery", 2, 0, "LastState"},
        // The same number means different things to different getters.
        {bios_get_ac_recovery, "ACRecovery", 3, -1, "get power err"},
        {bios_get_wake_on_lan, "WakeOnLan", 3, 0, "Disable"},
        {bios_get_mac_passthrough, "MACPASSConfigure", 1, 0, "Intergrated"},
        {bios_get_deep_sleep, "DeepSleep", 4, 0, "EnabledInS4andS5"},
        {bios_get_extended_post_time, "ExtendedBIOSPostTime", 1, 0, "5seconds"},
        {bios_get_fastboot, "Fastboot", 3, 0, nullptr},
    };
    for (const auto &c : cases) {
        sim.values[c.setting] = c.value;
        strcpy(fragment, "before");
        const std::string key = std::string("DeviceKORACMOS") + c.setting;
        EXPECT_EQ(c.status, c.getter(key.c_str(), fragment)) << c.setting;
        EXPECT_EQ(c.text ? "\"" + key + "\": \"" + c.text + "\"," : "before", fragment) << c.setting;
    }
}

TEST_F(BiosPrimitives, FailedReadsFollowEachGettersRule)
{
    add_fault(biossim::FAULT_STATUS, 0xEA, 6);
    EXPECT_EQ(-1, bios_get_fastboot("DeviceKORACMOSFastboot", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSFastboot\": \"get data err\",", fragment);
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: Get Fastboot error 6"));

    // The keyboard getter writes nothing on failure.
    strcpy(fragment, "before");
    add_fault(biossim::FAULT_STATUS, 0x9D, 6);
    EXPECT_EQ(-1, bios_get_keyboard_error_reporting("DeviceKORACMOSKeyboardErrorDetection", fragment));
    EXPECT_STREQ("before", fragment);

    add_fault(biossim::FAULT_STATUS, 0xA3, 6);
    EXPECT_EQ(-1, bios_get_ac_recovery("DeviceKORACMOSACRecovery", fragment));
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: get ac power error"));

    EXPECT_EQ(0, bios_get_admin_password_state("DeviceKORACMOSEnablePassword", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSEnablePassword\": \"No\",", fragment);
    sim.password_installed = true;
    EXPECT_EQ(0, bios_get_admin_password_state("DeviceKORACMOSEnablePassword", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSEnablePassword\": \"Yes\",", fragment);
    add_fault(biossim::FAULT_BAD_HEADER);
    EXPECT_EQ(-1, bios_get_admin_password_state("DeviceKORACMOSEnablePassword", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSEnablePassword\": \"Error\",", fragment);
}

TEST_F(BiosPrimitives, AssetTagComesFromTheOutputWordsLowestByteFirst)
{
    sim.asset_tag = "1234";
    {
        StdoutCapture out;
        EXPECT_EQ(0, bios_get_asset_tag("DeviceKORACMOSAssettag", fragment));
        EXPECT_EQ("SMBIOS: asset tag: 1234\n", out.text());
    }
    EXPECT_STREQ("\"DeviceKORACMOSAssettag\": \"1234\",", fragment);
    EXPECT_EQ("appwrite b 0 0 0 0 0\n", requests().back());

    sim.asset_tag = "ABCDEFGH";
    EXPECT_EQ(0, bios_get_asset_tag("DeviceKORACMOSAssettag", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSAssettag\": \"ABCDEFGH\",", fragment);

    // A tag is text from the BIOS: it cannot break the reply it is put in.
    sim.asset_tag = "a\"b\\c";
    EXPECT_EQ(0, bios_get_asset_tag("DeviceKORACMOSAssettag", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSAssettag\": \"a\\\"b\\\\c\",", fragment);

    add_fault(biossim::FAULT_STATUS, -1, 3);
    EXPECT_EQ(-1, bios_get_asset_tag("DeviceKORACMOSAssettag", fragment));
    EXPECT_STREQ("\"DeviceKORACMOSAssettag\": \"\",", fragment);
    EXPECT_EQ(1u, log.count_containing("SMBIOS: get asset tag error 3"));

    // A key longer than the fragment buffer is cut to it.
    sim.faults.clear();
    const std::string key(bios_fragment_size, 'k');
    EXPECT_EQ(0, bios_get_fastboot(key.c_str(), fragment));
    EXPECT_EQ(bios_fragment_size - 1, strlen(fragment));
}

}  // namespace
