#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>

#include "host/mount.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_startup.h"
#include "services/bios/bios_writers.h"
#include "services/bios/update_bios.h"
#include "test_bios_fixture.h"

namespace {

class BiosStartup : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        sim.security_key = 0x5EED;
        host_mount_set_for_tests(&BiosStartup::mount);
        mounts.clear();
    }
    void TearDown() override
    {
        host_mount_set_for_tests(nullptr);
        BiosFixture::TearDown();
    }
    // The notices the setup left for the administrator, by resource id, after `faults`.
    Strings fresh_install(std::vector<biossim::Fault> faults)
    {
        sim.faults = std::move(faults);
        sim.requests.clear();
        log.lines.clear();
        bios_fresh_install_apply(state);
        Strings ids;
        for (const auto &line : log.lines)
            if (line.rfind("N ", 0) == 0)
                ids.push_back(line.substr(line.find("$("), line.find(')') - line.find("$(") + 1));
        return ids;
    }
    // Records mount calls as "<source> <target> <type> <flags> <options>"; the first answers `mount_error`.
    static int mount(const char *source, const char *target, const char *fstype, unsigned long flags,
                     const char *options)
    {
        mounts.push_back(std::string(source) + " " + target + " " + fstype + " " + std::to_string(flags) + " " +
                         options);
        return mounts.size() == 1 ? mount_error : 0;
    }
    static inline Strings mounts;
    static inline int mount_error = 0;
    TempHostRoot root;
};

TEST_F(BiosStartup, FreshInstallPutsTheFactoryPasswordOnABiosWithoutOneAndUsesItsKey)
{
    EXPECT_TRUE(fresh_install({}).empty());
    EXPECT_EQ((Strings{"appwrite a 3 0 0 0 0\n", "appwrite a 3 0 0 0 0\n", "appwrite a 5 20  Lodestar",
                       "appwrite a 3 0 0 0 0\n", "appwrite a 4 20 Lodestar"}),
              requests("appwrite a"));
    // Every write carries the key of that verification: secure boot, no booting from USB or
    // the network, AHCI, wake on USB.
    EXPECT_EQ((Strings{"34f 1 5eed", "109 0 5eed", "6e 1 5eed", "138 1 5eed", "147 1 5eed"}), writes());
    EXPECT_TRUE(state.reboot_needed);
}

TEST_F(BiosStartup, FreshInstallStopsAtAFailedPasswordStepAndGoesOnAfterALaterOne)
{
    const std::pair<biossim::Fault, const char *> password_steps[] = {
        {{.cmd_class = 10, .cmd_select = 3}, "$(boot_password_err)"},
        {{.cmd_class = 10, .cmd_select = 5}, "$(set_password_fail)"},
        {{.cmd_class = 10, .cmd_select = 3, .after = 2}, "$(change_err)"},  // installed, then unverifiable
    };
    for (const auto &[fault, notice] : password_steps) {
        sim.password_installed = false;
        EXPECT_EQ(Strings{notice}, fresh_install({fault}));
        EXPECT_TRUE(writes().empty());
    }
    install_password("somebody else's");
    EXPECT_EQ(Strings{"$(password_not_change)"}, fresh_install({}));
    EXPECT_TRUE(writes().empty());

    install_password("Lodestar");
    std::vector<biossim::Fault> faults;
    for (const int64_t token : {0x34F, 0x109, 0x6E, 0x138, 0x147})
        faults.push_back({.token = token, .status = 4});
    EXPECT_EQ((Strings{"$(init_err)", "$(secure_fail)", "$(use_disable_fail)", "$(pxe_disable_fail)", "$(ahci_fail)",
                       "$(wake_usb_fail)"}),
              fresh_install(faults));
    EXPECT_EQ(5u, writes().size());
}

TEST_F(BiosStartup, ModelDecidesDeepSleepWakeAndSfpSteps)
{
    install_password("Lodestar");
    sim.values["SecureBoot"] = 1;  // left alone
    // Model, the token the BIOS refuses (0: none), the writes after the common ones, notices.
    const std::tuple<const char *, int64_t, Strings, Strings> cases[] = {
        {"Lumen 83", 0, {"446 1 5eed"}, {}},  // wakes from the dock
        {"Lumen 83", 0x446, {"446 1 5eed"}, {"$(smbios_dock_error)", "$(wake_dock_fail)"}},
        {"K50AIO", 0, {"147 1 5eed"}, {}},  // its deep sleep is not switched off
        {"Vantor 70", 0xF6, {"f6 0 5eed", "147 1 5eed"}, {"$(deepsleep_fail)"}},
    };
    for (const auto &[model, refused, tail, notices] : cases) {
        set_model(model);
        EXPECT_EQ(notices, fresh_install({{.token = refused, .status = 4}})) << model;
        Strings expected = {"109 0 5eed", "6e 1 5eed", "138 1 5eed"};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(expected, writes()) << model;
    }
    // The SFP adapter of a Vantor 70 that has one is switched on, and is the wake-on-LAN adapter.
    g_mkdir_with_parents(root.file("compat/linux/sys/class/net/re1").c_str(), 0755);
    EXPECT_EQ((Strings{"$(smbios_nic_error)", "$(sfp_fail)"}), fresh_install({{.token = 0x44A, .status = 4}}));
    EXPECT_EQ("44a 1 5eed", writes().back());
    std::string result;
    BiosWriteCall call{state, 0x5EED, &result};
    EXPECT_TRUE(bios_write_text(*bios_setting_named("WakeOnLan"), "LANORSFPNIC", call));
    EXPECT_EQ("464 9 5eed", writes().back());
}

TEST_F(BiosStartup, UpdateMountsTheMediumAndRetriesOnlyAWriteProtectedOneReadOnly)
{
    ASSERT_EQ(0, mkdir(root.file("mnt").c_str(), 0755));
    const std::string medium = root.file("dev/sdda0p1") + " " + root.file("mnt/bios") + " vfat " +
                               std::to_string(MS_MGC_VAL | MS_NOSUID | MS_NOEXEC) + " uid=1001";
    for (int error : {ENOENT, EROFS}) {
        mounts.clear();
        mount_error = error;
        const mode_t mask = umask(022);
        EXPECT_TRUE(update_bios_mount_medium());
        EXPECT_EQ(022u, umask(mask)) << "the file-creation mask is left alone";
        EXPECT_TRUE(g_file_test(root.file("mnt/bios").c_str(), G_FILE_TEST_IS_DIR));
        EXPECT_EQ((error == EROFS ? Strings{medium, medium + ",ro"} : Strings{medium}), mounts);
    }
    // A mount point that cannot be made stops the service's start and the update.
    std::filesystem::remove_all(root.file("mnt"));
    put(root.file("mnt"), "not a folder");
    mounts.clear();
    EXPECT_FALSE(bios_prepare());
    EXPECT_FALSE(update_bios_mount_medium());
    EXPECT_TRUE(requests().empty());
    EXPECT_TRUE(mounts.empty());
}

}  // namespace
