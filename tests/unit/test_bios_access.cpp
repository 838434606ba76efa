#include "test_bios_fixture.h"

namespace {

class BiosAccess : public BiosFixture {
protected:
    int check(const char *candidate)
    {
        return bios_check_password_properties(candidate, static_cast<int>(strlen(candidate)), &not_installed, &max_len);
    }
    uint8_t not_installed = 0;
    uint8_t max_len = 0;
    uint32_t key = 0;
};

TEST_F(BiosAccess, PasswordRulesOfTheBiosAndOfTheRequestBuffer)
{
    install_password("x");
    sim.min_len = 4;
    sim.max_len = 8;
    const std::pair<const char *, bool> refused[] = {
        {"ab\xe9yz", false}, {"abcdefghi", false}, {"abc", false}, {"abc-efg", true}};  // the flag: alphanumeric only
    for (const auto &[candidate, alnum_only] : refused) {
        sim.alnum_only = alnum_only;
        EXPECT_EQ(-1, check(candidate)) << candidate;
    }
    sim.alnum_only = false;
    EXPECT_EQ(0, check("abc-efg"));
    EXPECT_EQ(8, max_len);
    sim.faults = {{.cmd_class = 10, .cmd_select = 3, .status = 6}};
    EXPECT_EQ(-1, check("abcdefg"));
    sim.faults = {{.kind = biossim::fault_read_error, .cmd_class = 10, .cmd_select = 3}};
    EXPECT_EQ(-1, check("abcdefg"));

    // A BIOS that gives no maximum takes no password, but can report that none is installed.
    sim.faults.clear();
    sim.property_word = 0;
    EXPECT_EQ(-1, bios_verify_admin_password("x", &key));
    EXPECT_EQ(-1, bios_change_admin_password("x", "other", 0));
    sim.property_word = 1;
    EXPECT_EQ(0, check(""));
    EXPECT_EQ(1, not_installed);

    // Longer than the request buffer holds, whatever the BIOS allows: refused unsent.
    sim.property_word = -1;
    sim.max_len = 255;
    const std::string too_long(128, 'a');
    EXPECT_EQ(-1, bios_verify_admin_password(too_long.c_str(), &key));
    EXPECT_EQ(-1, bios_change_admin_password("x", too_long.c_str(), 0));
    EXPECT_TRUE(requests("appwrite a 4").empty() && requests("appwrite a 5").empty());
}

TEST_F(BiosAccess, ChangeSetsReplacesAndRemoves)
{
    // Current and new password, mode, result, request sent, password afterwards ("-": none).
    const std::tuple<const char *, const char *, int, int, const char *, const char *> cases[] = {
        {"", nullptr, bios_password_remove, 0, "appwrite a 5 0  ", "-"},
        {"ignored", "first", 0, 0, "appwrite a 5 20  first", "first"},  // the current goes out empty
        {"first", "second", 0, 0, "appwrite a 5 20 first second", "second"},
        {"wrong", "third", 0, -1, "appwrite a 5 20 wrong third", "second"},
        {"longer-than-the-32-the-bios-takes", "third", 0, -1, "appwrite a 3 0 0 0 0\n", "second"},  // not sent
        {"second", "whatever", bios_password_remove, 0, "appwrite a 5 20 second ", "-"},
    };
    for (const auto &[current, next, mode, result, request, password_after] : cases) {
        EXPECT_EQ(result, bios_change_admin_password(current, next, mode)) << request;
        EXPECT_EQ(request, requests().back());
        EXPECT_EQ(password_after, sim.password_installed ? sim.password : "-");
    }
}

TEST_F(BiosAccess, SecureBootIsSwitchedWithTheKeyAndNeverOff)
{
    install_password("p");
    sim.security_key = 0xabc;
    EXPECT_EQ(0, bios_set_secure_boot(state, 0, 0xabc));
    EXPECT_EQ(0, bios_set_secure_boot(state, 1, 0xabc));  // without the install marker: no reboot flag
    EXPECT_FALSE(state.reboot_needed);
    EXPECT_EQ(0, bios_set_secure_boot(state, 0, 0xabc));  // now on: never written again
    EXPECT_EQ(0, bios_set_secure_boot(state, 1, 0xabc));
    EXPECT_EQ((Strings{"350 0 abc", "34f 1 abc"}), writes());
    sim.values["SecureBoot"] = 0;
    EXPECT_EQ(-1, bios_set_secure_boot(state, 1, 0x999));  // wrong key
    state.secure_boot_by_install = true;
    EXPECT_EQ(0, bios_set_secure_boot(state, 1, 0xabc));
    EXPECT_TRUE(state.reboot_needed);
}

TEST_F(BiosAccess, ReadByNameInAnyLetterCaseWithTokensOfTheModel)
{
    const std::tuple<const char *, const char *> cases[] = {
        {"", "USBSIDEPORT"}, {"k20", "usbRearPort"}, {"Vantor 70", "supressdockwarnmsg"}, {"", "secure boot"}};
    sim.values["USBSidePort"] = 1;
    uint32_t value = 0;
    for (const auto &[model, name] : cases) {
        set_model(model);
        bios_read_token_by_name(state.model, name, &value);
    }
    EXPECT_EQ((Strings{"appwrite 0 0 41c 0 0 0\n", "appwrite 0 0 1d5 0 0 0\n", "appwrite 0 0 3a9 0 0 0\n"}),
              requests());  // an unknown name asks nothing
    EXPECT_EQ(-1, bios_read_token_by_name(state.model, "secure boot", &value));
    EXPECT_EQ(0, bios_read_token_by_name(state.model, "usbsideport", &value));
    EXPECT_EQ(1u, value);
}

TEST_F(BiosAccess, FirstMatchingProductRuleWinsAndTheModelGivesTheKeyLists)
{
    TempHostRoot root;
    g_mkdir_with_parents(root.file("sys/class/dmi/id").c_str(), 0755);
    // The product rules are searched in order, letter case counting.
    const std::pair<const char *, const char *> products[] = {
        {"L81 K10", "K10"}, {"K30 AIO K20", "K30AIO"}, {"Kora VanTor 70", "Vantor 70"}, {"Kora Vantor 70", ""}};
    for (const auto &[product, model] : products) {
        put(root.file("sys/class/dmi/id/product_name"), std::string(product) + "\n");
        set_model("");
        bios_detect_model(state.model);
        EXPECT_STREQ(model, state.model) << product;
    }
    // The extract list is the read list without the password state and the asset tag.
    set_model("K10X");
    const std::string read = key_list_text(bios_read_key_list(state.model));
    EXPECT_EQ(std::string("[\"DeviceKORACMOSEnablePassword\", \"DeviceKORACMOSAssettag\", ") +
                  (key_list_text(bios_extract_key_list(state.model)).c_str() + 1),
              read);
    set_model("k10-anything");  // only the K10 family is matched by prefix
    EXPECT_EQ(read, key_list_text(bios_read_key_list(state.model)));
    set_model("K30");
    EXPECT_EQ(nullptr, bios_read_key_list(state.model).suffixes);
}

using BiosTransport = BiosFixture;

TEST_F(BiosTransport, AnswerFieldsAreHexAndAnOverLongOneIsCutTo31CharactersAndLogged)
{
    uint32_t output[3] = {7, 7, 7};
    EXPECT_EQ(0, smi_parse_answer("appread  -a \t0x1F", output));  // two blanks: an empty field
    EXPECT_EQ(0u, output[0]);
    EXPECT_EQ(0xFFFFFFF6u, output[1]);
    EXPECT_EQ(0x1Fu, output[2]);
    sim.values["ACRecovery"] = 0x12345678;
    sim.faults = {{.kind = biossim::fault_long_field}};
    EXPECT_EQ(0u, smi_token_read(0xA3).value());  // 40 digits, the value in the last 8: the 31 kept are zeros
    EXPECT_EQ(1u, log.count("length error, truncated!"));
}

}  // namespace
