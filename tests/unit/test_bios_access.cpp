#include "test_bios_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class BiosPassword : public BiosFixture {};

TEST_F(BiosPassword, MaximumLengthZeroFailsEveryOperationButAnEmptyCheckWithoutPassword)
{
    sim.property_word = 0;  // password installed, maximum 0
    uint32_t key = 0;
    EXPECT_EQ(-1, bios_verify_admin_password("secret", &key));
    EXPECT_EQ(-1, bios_change_admin_password("secret", "other", 0));
    EXPECT_EQ(2u, log.count_containing("D bios: SMBIOS: get password max len error"));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: get password : check error"));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: check new admin password error -1"));

    sim.property_word = 1;  // none installed, maximum 0
    uint8_t not_installed = 0;
    uint8_t max_len = 99;
    EXPECT_EQ(0, bios_check_password_properties("", 0, &not_installed, &max_len));
    EXPECT_EQ(1, not_installed);
    EXPECT_EQ(99, max_len);  // left as the caller set it
    EXPECT_TRUE(requests_starting("appwrite 1 ").empty());
}

TEST_F(BiosPassword, CandidateIsCheckedAgainstTheBiosRules)
{
    sim.password_installed = true;
    sim.password = "x";
    sim.min_len = 4;
    sim.max_len = 8;
    sim.ascii_only = true;
    uint8_t not_installed = 0;
    uint8_t max_len = 0;

    EXPECT_EQ(-1, bios_check_password_properties("ab\xe9"
                                                 "defg",
                                                 7, &not_installed, &max_len));
    EXPECT_EQ(1u, log.count_containing("D bios: the 2 input password is no ascii "));
    EXPECT_EQ(-1, bios_check_password_properties("abcdefghi", 9, &not_installed, &max_len));
    EXPECT_EQ(1u, log.count_containing("set password too long, the max len is 8"));
    EXPECT_EQ(-1, bios_check_password_properties("abc", 3, &not_installed, &max_len));
    EXPECT_EQ(1u, log.count_containing("set password too short, the min len is 4"));

    sim.alnum_only = true;
    EXPECT_EQ(-1, bios_check_password_properties("abc-efg", 7, &not_installed, &max_len));
    EXPECT_EQ(1u, log.count_containing("the 3 input password is no alphanumeric"));
    EXPECT_EQ(0, bios_check_password_properties("abc1efg", 7, &not_installed, &max_len));
    EXPECT_EQ(0, not_installed);
    EXPECT_EQ(8, max_len);

    sim.faults.push_back(status_fault(6, -1, 10, 3));
    EXPECT_EQ(-1, bios_check_password_properties("abc1efg", 7, &not_installed, &max_len));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: get admin password properties error 6"));
}

TEST_F(BiosPassword, PasswordLongerThanTheRequestBufferIsRefusedUnsent)
{
    sim.password_installed = true;
    sim.password = "x";
    sim.max_len = 255;
    const std::string long_password(130, 'a');
    uint32_t key = 0;
    EXPECT_EQ(-1, bios_verify_admin_password(long_password.c_str(), &key));
    EXPECT_EQ(1u, log.count_containing("set password too long, the max len is 127"));
    EXPECT_EQ(-1, bios_change_admin_password("x", long_password.c_str(), 0));
    EXPECT_TRUE(requests_starting("appwrite a 4").empty());
    EXPECT_TRUE(requests_starting("appwrite a 5").empty());
}

TEST_F(BiosPassword, VerifyYieldsTheSecurityKeyOrTheRefusal)
{
    // No password installed: success, the key keeps its starting value, nothing verified.
    uint32_t key = 77;
    EXPECT_EQ(0, bios_verify_admin_password("Lodestar", &key));
    EXPECT_EQ(77u, key);
    EXPECT_EQ(1u, log.count_containing("SMBIOS: password not installed"));
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n"}), requests());

    sim.password_installed = true;
    sim.password = "Lodestar";
    sim.security_key = 0x5eed;
    key = 0;
    EXPECT_EQ(0, bios_verify_admin_password("Lodestar", &key));
    EXPECT_EQ(0x5eedu, key);
    EXPECT_EQ("appwrite a 4 20 Lodestar", requests().back());

    key = 0;
    EXPECT_EQ(-2, bios_verify_admin_password("wrong", &key));
    EXPECT_EQ(0u, key);
    EXPECT_EQ(1u, log.count_containing("SMBIOS: verify admin password error 2"));

    add_fault(biossim::FAULT_READ_ERROR);
    sim.faults.back().cmd_class = 10;
    sim.faults.back().cmd_select = 4;
    EXPECT_EQ(-1, bios_verify_admin_password("Lodestar", &key));
    EXPECT_EQ(1u, log.count_containing("send smi, get security err"));
}

TEST_F(BiosPassword, ChangeSetsReplacesAndRemoves)
{
    // Removing while none is installed still sends the change, both fields empty (and no
    // length limit, which the BIOS only gives for a candidate).
    EXPECT_EQ(0, bios_change_admin_password("", nullptr, bios_password_remove));
    EXPECT_EQ("appwrite a 5 0  ", requests().back());

    // The first password goes out with an empty current field.
    EXPECT_EQ(0, bios_change_admin_password("ignored", "first", 0));
    EXPECT_EQ("appwrite a 5 20  first", requests().back());
    EXPECT_TRUE(sim.password_installed);
    EXPECT_EQ(2u, log.count_containing("SMBIOS: change password Ok "));

    EXPECT_EQ(0, bios_change_admin_password("first", "second", 0));
    EXPECT_EQ("appwrite a 5 20 first second", requests().back());
    EXPECT_EQ("second", sim.password);

    EXPECT_EQ(-1, bios_change_admin_password("wrong", "third", 0));
    EXPECT_EQ(1u, log.count_containing("SMBIOS: set admin password error 2"));
    EXPECT_EQ("second", sim.password);

    EXPECT_EQ(0, bios_change_admin_password("second", "whatever", bios_password_remove));
    EXPECT_EQ("appwrite a 5 20 second ", requests().back());
    EXPECT_FALSE(sim.password_installed);
}

class BiosSecureBoot : public BiosFixture {};

TEST_F(BiosSecureBoot, AlreadyOnIsNeverWritten)
{
    sim.values["SecureBoot"] = 1;
    for (int enable : {1, 0}) {
        EXPECT_EQ(0, bios_set_secure_boot(enable, 5));
        EXPECT_EQ("appwrite 0 0 34f 0 0 0\n", requests().back());
    }
    EXPECT_TRUE(requests_starting("appwrite 1 ").empty());
    EXPECT_EQ(2u, log.count_containing("secure value is enable,can not be changed"));
}

TEST_F(BiosSecureBoot, EnableAndDisableWriteTheirTokensWithTheKey)
{
    sim.password_installed = true;
    sim.password = "p";
    sim.security_key = 0xabc;

    EXPECT_EQ(0, bios_set_secure_boot(0, 0xabc));
    EXPECT_EQ("appwrite 1 0 350 0 abc 0\n", requests().back());
    EXPECT_EQ(0, bios_change_reboot_flag);

    // Without the install marker an enable raises no reboot flag; with it, it does.
    EXPECT_EQ(0, bios_set_secure_boot(1, 0xabc));
    EXPECT_EQ("appwrite 1 0 34f 1 abc 0\n", requests().back());
    EXPECT_EQ(0, bios_change_reboot_flag);
    sim.values["SecureBoot"] = 0;
    secure_boot_init_marker = secure_boot_init_mark;
    EXPECT_EQ(0, bios_set_secure_boot(1, 0xabc));
    EXPECT_EQ(bios_reboot_needed, bios_change_reboot_flag);
    EXPECT_EQ(3u, log.count_containing("secure boot set ok"));

    sim.values["SecureBoot"] = 0;
    EXPECT_EQ(-1, bios_set_secure_boot(1, 0x999));  // wrong key
    EXPECT_EQ(1u, log.count_containing("SMBIOS: set Secure Boot error 2"));
}

class BiosReadByName : public BiosFixture {};

std::string token_read(uint32_t token)
{
    char text[64];
    g_snprintf(text, sizeof text, "appwrite 0 0 %x 0 0 0\n", token);
    return text;
}

TEST_F(BiosReadByName, NamesMatchInAnyLetterCaseAndSomeTokensDependOnTheModel)
{
    const struct {
        const char *model;
        const char *name;
        uint32_t token;
    } cases[] = {
        {"", "USBSidePort", 0x41C},
        {"", "usbsideport", 0x41C},
        {"", "USBSIDEPORT", 0x41C},
        {"", "usbRearPort", 0x41A},
        {"k20", "usbrearport", 0x1D5},
        {"k20", "usbfronttopport", 0x3E3},
        {"Vantor 70", "usbrearport", 0x41A},
        {"Vantor 70", "usbfronttopport", 0x3E5},
        {"Vantor 70", "usbfrontbottomport", 0x3E3},
        {"Vantor 70", "supressdockwarnmsg", 0x3A9},
    };
    uint32_t value = 0;
    for (const auto &c : cases) {
        set_model(c.model);
        bios_read_token_by_name(c.name, &value);
        EXPECT_EQ(token_read(c.token), requests().back()) << c.model << " " << c.name;
    }
    sim.values["USBSidePort"] = 1;
    EXPECT_EQ(0, bios_read_token_by_name("usbsideport", &value));
    EXPECT_EQ(1u, value);
}

TEST_F(BiosReadByName, UnknownNameSendsNothingAndFailedReadIsMinusTwo)
{
    uint32_t value = 0;
    EXPECT_EQ(-1, bios_read_token_by_name("secure boot", &value));
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(1u, log.count_containing("D bios: not check valid input parameter"));
    EXPECT_EQ(1u, log.count_containing("D bios: the input parameter error"));

    // Token 0 (the dock warning on other models) is unknown to the BIOS.
    EXPECT_EQ(-2, bios_read_token_by_name("supressdockwarnmsg", &value));
    add_fault(biossim::FAULT_READ_ERROR);
    EXPECT_EQ(-2, bios_read_token_by_name("audio", &value));
}

}  // namespace
