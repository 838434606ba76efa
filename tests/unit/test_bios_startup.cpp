#include <cerrno>
#include <sys/stat.h>

#include "host/mount.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_startup.h"
#include "services/bios/update_bios.h"
#include "temp_dir.h"
#include "test_bios_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class BiosFreshInstall : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        sim.security_key = 0x5eed;
    }
    // Factory password already installed: the setup goes straight to the writes.
    void install_factory_password()
    {
        sim.password_installed = true;
        sim.password = "Lodestar";
    }
    Strings writes() const { return requests_starting("appwrite 1 "); }
};

TEST_F(BiosFreshInstall, OnlyAnExplicitFalseSkipsTheSetup)
{
    for (const char *value : {"false", "FALSE"})
        EXPECT_FALSE(bios_fresh_install_wanted(value)) << value;
    EXPECT_FALSE(bios_fresh_install_wanted(nullptr));
    for (const char *value : {"", "true", "false "})
        EXPECT_TRUE(bios_fresh_install_wanted(value)) << value;
}

TEST_F(BiosFreshInstall, AnotherAdminPasswordStopsBeforeAnyWrite)
{
    sim.password_installed = true;
    sim.password = "somebody else's";
    bios_fresh_install_apply();
    EXPECT_EQ(1u, log.count_containing("N system: $(password_not_change)"));
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n", "appwrite a 4 20 Lodestar"}), requests());
}

TEST_F(BiosFreshInstall, WithoutPasswordTheFactoryPasswordIsInstalledAndItsKeyUsed)
{
    bios_fresh_install_apply();
    const Strings expected = {
        "appwrite a 3 0 0 0 0\n",     // properties: none installed
        "appwrite a 3 0 0 0 0\n",     // properties for the new password
        "appwrite a 5 20  Lodestar",  // install
        "appwrite a 3 0 0 0 0\n",
        "appwrite a 4 20 Lodestar",  // verify: the key of this answer is used from now on
        "appwrite 0 0 34f 0 0 0\n",  // secure boot state
        "appwrite 0 0 34f 0 0 0\n",  // read again by the switch itself
        "appwrite 1 0 34f 1 5eed 0\n",
        "appwrite 1 0 109 0 5eed 0\n",  // no booting from USB
        "appwrite 1 0 6e 1 5eed 0\n",   // no PXE boot
        "appwrite 1 0 138 1 5eed 0\n",  // AHCI
        "appwrite 1 0 147 1 5eed 0\n",  // wake on USB (no model)
    };
    EXPECT_EQ(expected, requests());
    EXPECT_EQ("Lodestar", sim.password);
    EXPECT_EQ(1u, sim.values["SecureBoot"]);
    EXPECT_EQ(secure_boot_init_mark, secure_boot_init_marker);
    EXPECT_EQ(bios_reboot_needed, bios_change_reboot_flag);
    EXPECT_EQ(0u, log.count_containing("N system: "));
}

TEST_F(BiosFreshInstall, PasswordStepFailuresEndTheSetup)
{
    biossim::Fault properties;
    properties.cmd_class = 10;
    properties.cmd_select = 3;
    sim.faults = {properties};
    bios_fresh_install_apply();
    EXPECT_EQ(1u, log.count_containing("N system: $(boot_password_err)"));

    biossim::Fault change = properties;
    change.cmd_select = 5;
    sim.faults = {change};
    bios_fresh_install_apply();
    EXPECT_EQ(1u, log.count_containing("N system: $(set_password_fail)"));
    EXPECT_FALSE(sim.password_installed);

    // Installed, but the verification after it cannot ask the BIOS.
    properties.after = 2;
    sim.faults = {properties};
    bios_fresh_install_apply();
    EXPECT_TRUE(sim.password_installed);
    EXPECT_EQ(1u, log.count_containing("N system: $(change_err)"));
    EXPECT_TRUE(requests_starting("appwrite 1 ").empty());
}

TEST_F(BiosFreshInstall, LaterStepFailuresAreNoticedAndTheRestStillRuns)
{
    install_factory_password();
    sim.faults = {status_fault(4, 0x34F, -1, -1), status_fault(4, 0x109, -1, -1), status_fault(4, 0x6E, -1, -1),
                  status_fault(4, 0x138, -1, -1), status_fault(4, 0x147, -1, -1)};
    bios_fresh_install_apply();
    for (const char *notice : {"N bios: $(init_err)", "N system: $(secure_fail)", "N system: $(use_disable_fail)",
                               "N system: $(pxe_disable_fail)", "N system: $(ahci_fail)", "N system: $(wake_usb_fail)"})
        EXPECT_EQ(1u, log.count_containing(notice)) << notice;
    EXPECT_EQ(1u, log.count_containing("D bios: SMBIOS: set ahci on error 4"));
    EXPECT_EQ(5u, writes().size());
}

TEST_F(BiosFreshInstall, ModelDecidesDeepSleepWakeAndSfpSteps)
{
    install_factory_password();
    sim.values["SecureBoot"] = 1;
    const Strings common = {"appwrite 1 0 109 0 5eed 0\n", "appwrite 1 0 6e 1 5eed 0\n", "appwrite 1 0 138 1 5eed 0\n"};
    auto with = [&](Strings tail) {
        Strings all = common;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };

    set_model("Lumen 83");
    bios_fresh_install_apply();
    EXPECT_EQ(with({"appwrite 1 0 446 1 5eed 0\n"}), writes());  // secure boot, already on, is left alone
    EXPECT_EQ(0, secure_boot_init_marker);
    EXPECT_EQ(0, bios_change_reboot_flag);

    sim.requests.clear();
    set_model("K50AIO");  // deep sleep is read on it, but not switched off at install
    bios_fresh_install_apply();
    EXPECT_EQ(with({"appwrite 1 0 147 1 5eed 0\n"}), writes());

    sim.requests.clear();
    set_model("K10X");
    bios_fresh_install_apply();
    EXPECT_EQ(with({"appwrite 1 0 f6 0 5eed 0\n", "appwrite 1 0 147 1 5eed 0\n"}), writes());

    // The SFP adapter is switched on for "Vantor 70" only when interface re1 exists.
    TempDir root;
    ScopedHostRoot scoped(root.path());
    sim.requests.clear();
    set_model("Vantor 70");
    bios_fresh_install_apply();
    EXPECT_EQ(with({"appwrite 1 0 f6 0 5eed 0\n", "appwrite 1 0 147 1 5eed 0\n"}), writes());
    ASSERT_EQ(0, g_mkdir_with_parents((root.path() + "/compat/linux/sys/class/net/re1").c_str(), 0755));
    sim.requests.clear();
    bios_fresh_install_apply();
    EXPECT_EQ(with({"appwrite 1 0 f6 0 5eed 0\n", "appwrite 1 0 147 1 5eed 0\n", "appwrite 1 0 44a 1 5eed 0\n"}),
              writes());

    sim.faults = {status_fault(4, 0x44A, -1, -1)};
    bios_fresh_install_apply();
    EXPECT_EQ(1u, log.count_containing("N bios: $(smbios_nic_error)"));
    EXPECT_EQ(1u, log.count_containing("N system: $(sfp_fail)"));
}

// Records every mount call; the first answer is `first_error`, later ones succeed.
struct MountRecorder {
    struct Call {
        std::string source, target, fstype, options;
        unsigned long flags;
    };
    static inline std::vector<Call> calls;
    static inline int first_error = 0;
    static int mount(const char *source, const char *target, const char *fstype, unsigned long flags,
                     const char *options)
    {
        calls.push_back({source, target, fstype, options, flags});
        return calls.size() == 1 ? first_error : 0;
    }
};

class BiosUpdate : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        MountRecorder::calls.clear();
        previous_mount = host_mount_set_for_tests(&MountRecorder::mount);
    }
    void TearDown() override
    {
        host_mount_set_for_tests(previous_mount);
        BiosFixture::TearDown();
    }
    HostMountFn previous_mount = nullptr;
};

TEST_F(BiosUpdate, MountsTheMediumAndRetriesOnlyAReadOnlyOneWithoutTouchingTheUmask)
{
    TempDir root;
    ScopedHostRoot scoped(root.path());
    ASSERT_EQ(0, g_mkdir((root.path() + "/mnt").c_str(), 0755));
    MountRecorder::first_error = ENOENT;
    EXPECT_TRUE(update_bios_mount_medium());
    EXPECT_TRUE(g_file_test((root.path() + "/mnt/bios").c_str(), G_FILE_TEST_IS_DIR));
    ASSERT_EQ(1u, MountRecorder::calls.size());
    const auto call = MountRecorder::calls[0];
    EXPECT_EQ(root.path() + "/dev/sdda0p1", call.source);
    EXPECT_EQ(root.path() + "/mnt/bios", call.target);
    EXPECT_EQ("vfat", call.fstype);
    EXPECT_EQ(0xC0ED000AUL, call.flags);
    EXPECT_EQ("uid=1001", call.options);

    MountRecorder::calls.clear();
    MountRecorder::first_error = EROFS;
    const mode_t before = umask(022);
    umask(before);
    EXPECT_TRUE(update_bios_mount_medium());
    EXPECT_EQ(before, umask(before));
    ASSERT_EQ(2u, MountRecorder::calls.size());
    const auto retry = MountRecorder::calls[1];
    EXPECT_EQ("uid=1001,ro", retry.options);
    EXPECT_EQ(call.source, retry.source);
    EXPECT_EQ(call.target, retry.target);
    EXPECT_EQ(0xC0ED000AUL, retry.flags);
}

TEST_F(BiosUpdate, MountPointThatCannotBeMadeStopsStartAndUpdate)
{
    TempDir root;
    ScopedHostRoot scoped(root.path());
    ASSERT_TRUE(g_file_set_contents((root.path() + "/mnt").c_str(), "not a folder", -1, nullptr));
    EXPECT_FALSE(bios_prepare());
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(0u, log.count_containing("product name"));
    EXPECT_FALSE(update_bios_mount_medium());
    EXPECT_TRUE(MountRecorder::calls.empty());
    EXPECT_EQ(2u, log.count_containing("D bios: mkdir failed /mnt/bios"));
}

}  // namespace
