#include "test_bios_fixture.h"

namespace {

class BiosAccess : public BiosFixture {
protected:
    int check(const char *candidate)
    {
        not_installed = 0;
        return bios_check_password_properties(candidate, static_cast<int>(strlen(candidate)), &not_installed, &max_len);
    }
    uint8_t not_installed = 0;
    uint8_t max_len = 0;
    uint32_t key = 77;
};

TEST_F(BiosAccess, PasswordCandidateIsCheckedAgainstTheBiosRules)
{
    install_password("x");
    sim.min_len = 4;
    sim.max_len = 8;
    const struct {
        const char *candidate;
        bool alnum_only;
        int result;
    } cases[] = {
        {"ab\xe9"
         "defg",
         false, -1},
        {"abcdefghi", false, -1},
        {"abc", false, -1},
        {"abc-efg", true, -1},
        {"abc-efg", false, 0},
    };
    for (const auto &c : cases) {
        sim.alnum_only = c.alnum_only;
        EXPECT_EQ(c.result, check(c.candidate)) << c.candidate;
    }
    EXPECT_EQ(8, max_len);
    sim.faults = {{.cmd_class = 10, .cmd_select = 3, .status = 6}};
    EXPECT_EQ(-1, check("abcdefg"));

    // A BIOS that gives no maximum takes no password, but can report that none is installed.
    sim.faults.clear();
    sim.property_word = 0;
    EXPECT_EQ(-1, bios_verify_admin_password("x", &key));
    EXPECT_EQ(-1, bios_change_admin_password("x", "other", 0));
    sim.property_word = 1;
    EXPECT_EQ(0, check(""));
    EXPECT_EQ(1, not_installed);
    EXPECT_TRUE(requests("appwrite a 4").empty() && requests("appwrite a 5").empty());
}

TEST_F(BiosAccess, VerifyYieldsTheSecurityKeyOrTheRefusal)
{
    EXPECT_EQ(0, bios_verify_admin_password("Lodestar", &key));  // none installed: nothing to verify
    EXPECT_EQ(77u, key);
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n"}), requests());
    install_password("Lodestar");
    sim.security_key = 0x5eed;
    EXPECT_EQ(0, bios_verify_admin_password("Lodestar", &key));
    EXPECT_EQ(0x5eedu, key);
    key = 0;
    EXPECT_EQ(-2, bios_verify_admin_password("wrong", &key));
    EXPECT_EQ(0u, key);
    sim.faults = {{.kind = biossim::FAULT_READ_ERROR, .cmd_class = 10, .cmd_select = 4}};
    EXPECT_EQ(-1, bios_verify_admin_password("Lodestar", &key));
}

TEST_F(BiosAccess, ChangeSetsReplacesAndRemoves)
{
    sim.max_len = 255;
    const std::string too_long(128, 'a');  // more than the request buffer holds
    EXPECT_EQ(-1, bios_change_admin_password("", too_long.c_str(), 0));
    const struct {
        const char *current, *next;
        int mode;
        int result;
        const char *request;  // nullptr: none sent
        const char *password_after;
    } cases[] = {
        {"", nullptr, bios_password_remove, 0, "appwrite a 5 0  ", nullptr},
        {"ignored", "first", 0, 0, "appwrite a 5 ff  first", "first"},  // the current goes out empty
        {"first", "second", 0, 0, "appwrite a 5 ff first second", "second"},
        {"wrong", "third", 0, -1, "appwrite a 5 ff wrong third", "second"},
        {"second", "whatever", bios_password_remove, 0, "appwrite a 5 ff second ", nullptr},
    };
    for (const auto &c : cases) {
        sim.requests.clear();
        EXPECT_EQ(c.result, bios_change_admin_password(c.current, c.next, c.mode)) << c.request;
        EXPECT_EQ(c.request, requests("appwrite a 5").back());
        EXPECT_EQ(c.password_after != nullptr, sim.password_installed) << c.request;
        EXPECT_EQ(c.password_after ? c.password_after : sim.password, sim.password) << c.request;
    }
    install_password("x");
    EXPECT_EQ(-1, bios_verify_admin_password(too_long.c_str(), &key));
    EXPECT_TRUE(requests("appwrite a 4").empty());
}

TEST_F(BiosAccess, SecureBootIsSwitchedWithTheKeyAndNeverOff)
{
    install_password("p");
    sim.security_key = 0xabc;
    EXPECT_EQ(0, bios_set_secure_boot(0, 0xabc));
    EXPECT_EQ(0, bios_set_secure_boot(1, 0xabc));  // without the install marker: no reboot flag
    EXPECT_EQ(0, bios_change_reboot_flag);
    EXPECT_EQ(0, bios_set_secure_boot(0, 0xabc));  // now on: never written again
    EXPECT_EQ(0, bios_set_secure_boot(1, 0xabc));
    EXPECT_EQ((Strings{"appwrite 1 0 350 0 abc 0\n", "appwrite 1 0 34f 1 abc 0\n"}), writes());
    sim.values["SecureBoot"] = 0;
    EXPECT_EQ(-1, bios_set_secure_boot(1, 0x999));  // wrong key
    secure_boot_init_marker = secure_boot_init_mark;
    EXPECT_EQ(0, bios_set_secure_boot(1, 0xabc));
    EXPECT_EQ(bios_reboot_needed, bios_change_reboot_flag);
}

TEST_F(BiosAccess, ReadByNameInAnyLetterCaseWithTokensOfTheModel)
{
    const struct {
        const char *model, *name;
        uint32_t token;
    } cases[] = {
        {"", "USBSIDEPORT", 0x41C},
        {"", "usbrearport", 0x41A},
        {"k20", "usbRearPort", 0x1D5},
        {"Vantor 70", "usbfronttopport", 0x3E5},
        {"Vantor 70", "supressdockwarnmsg", 0x3A9},
    };
    uint32_t value = 0;
    for (const auto &c : cases) {
        set_model(c.model);
        sim.requests.clear();
        bios_read_token_by_name(c.name, &value);
        g_autofree char *read = g_strdup_printf("appwrite 0 0 %x 0 0 0\n", c.token);
        EXPECT_EQ(Strings{read}, requests()) << c.model << " " << c.name;
    }
    sim.values["USBSidePort"] = 1;
    EXPECT_EQ(0, bios_read_token_by_name("usbsideport", &value));
    EXPECT_EQ(1u, value);
    sim.requests.clear();
    EXPECT_EQ(-1, bios_read_token_by_name("secure boot", &value));
    EXPECT_TRUE(requests().empty());
    set_model("");
    EXPECT_EQ(-2, bios_read_token_by_name("supressdockwarnmsg", &value));  // token 0: unknown to the BIOS
}

class BiosModels : public BiosFixture {
protected:
    // The model detected from `product` as the DMI product name (nullptr: none readable).
    std::string detect(const char *product)
    {
        TempDir root;
        ScopedHostRoot scoped(root.path);
        g_mkdir_with_parents(root.file("sys/class/dmi/id").c_str(), 0755);
        if (product)
            put(root.file("sys/class/dmi/id/product_name"), std::string(product) + "\n");
        set_model("");
        bios_detect_model();
        return bios_model_name;
    }
};

TEST_F(BiosModels, FirstMatchingProductRuleWinsAndTheModelGivesTheKeyLists)
{
    EXPECT_EQ("K10", detect("Kora K10 Thin Client"));
    EXPECT_EQ("K10", detect("L81 K10"));  // the K10 row comes before the L81 row
    EXPECT_EQ("K30AIO", detect("K30 AIO K20"));
    EXPECT_EQ("Vantor 70", detect("Kora VanTor 70"));
    EXPECT_EQ("", detect("Kora Vantor 70"));  // letter case counts
    EXPECT_EQ("", detect(nullptr));

    // The extract list is the read list without the password state and the asset tag.
    set_model("K10X");
    Strings read = names_of(json_members(bios_read_key_list()));
    ASSERT_GT(read.size(), 2u);
    EXPECT_EQ((Strings{"DeviceKORACMOSEnablePassword", "DeviceKORACMOSAssettag"}),
              Strings(read.begin(), read.begin() + 2));
    EXPECT_EQ(Strings(read.begin() + 2, read.end()), names_of(json_members(bios_extract_key_list())));
    set_model("k10-anything");  // only the K10 family is matched by prefix
    EXPECT_EQ(read, names_of(json_members(bios_read_key_list())));
    set_model("K30");
    EXPECT_EQ(nullptr, bios_read_key_list());
    EXPECT_EQ(nullptr, bios_extract_key_list());
}

}  // namespace
