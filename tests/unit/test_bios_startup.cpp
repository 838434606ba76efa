#include <cerrno>
#include <sys/stat.h>

#include "host/mount.h"
#include "services/bios/bios_fresh_install.h"
#include "services/bios/bios_startup.h"
#include "services/bios/update_bios.h"
#include "test_bios_fixture.h"

namespace {

constexpr uint32_t KEY = 0x5EED;

class BiosFreshInstall : public BiosFixture {
protected:
    void SetUp() override
    {
        BiosFixture::SetUp();
        sim.security_key = KEY;
    }
    // The notices the setup left for the administrator, by resource id.
    Strings notices() const
    {
        Strings ids;
        for (const auto &line : log.lines)
            if (line.rfind("N ", 0) == 0)
                ids.push_back(line.substr(line.find("$("), line.find(')') - line.find("$(") + 1));
        return ids;
    }
    TempDir root;
    ScopedHostRoot scoped{root.path};
};

TEST_F(BiosFreshInstall, WithoutPasswordTheFactoryPasswordIsInstalledAndItsKeyUsed)
{
    bios_fresh_install_apply();
    const Strings expected = {
        "appwrite a 3 0 0 0 0\n",   "appwrite a 3 0 0 0 0\n",   "appwrite a 5 20  Lodestar",  // install
        "appwrite a 3 0 0 0 0\n",   "appwrite a 4 20 Lodestar",  // verify: its key is used from now on
        "appwrite 0 0 34f 0 0 0\n", "appwrite 0 0 34f 0 0 0\n", token_write(0x34F, 1, KEY),  // secure boot
        token_write(0x109, 0, KEY), token_write(0x6E, 1, KEY),  token_write(0x138, 1, KEY),  token_write(0x147, 1, KEY),
    };
    EXPECT_EQ(expected, requests());
    EXPECT_EQ(bios_reboot_needed, bios_change_reboot_flag);
    EXPECT_TRUE(notices().empty());
}

TEST_F(BiosFreshInstall, AFailedPasswordStepEndsTheSetupALaterStepOnlyItself)
{
    const struct {
        biossim::Fault fault;
        bool installed_after;
        Strings notices;
    } cases[] = {
        {{.cmd_class = 10, .cmd_select = 3}, false, {"$(boot_password_err)"}},
        {{.cmd_class = 10, .cmd_select = 5}, false, {"$(set_password_fail)"}},
        {{.cmd_class = 10, .cmd_select = 3, .after = 2}, true, {"$(change_err)"}},  // installed, then unverifiable
    };
    for (const auto &c : cases) {
        biossim::reset(sim);
        sim.faults = {c.fault};
        log.lines.clear();
        bios_fresh_install_apply();
        EXPECT_EQ(c.notices, notices());
        EXPECT_EQ(c.installed_after, sim.password_installed);
        EXPECT_TRUE(writes().empty());
    }
    biossim::reset(sim);
    install_password("somebody else's");
    log.lines.clear();
    bios_fresh_install_apply();
    EXPECT_EQ(Strings{"$(password_not_change)"}, notices());
    EXPECT_TRUE(writes().empty());

    install_password("Lodestar");
    sim.faults = {{.token = 0x34F, .status = 4},
                  {.token = 0x109, .status = 4},
                  {.token = 0x6E, .status = 4},
                  {.token = 0x138, .status = 4},
                  {.token = 0x147, .status = 4}};
    log.lines.clear();
    bios_fresh_install_apply();
    EXPECT_EQ((Strings{"$(init_err)", "$(secure_fail)", "$(use_disable_fail)", "$(pxe_disable_fail)", "$(ahci_fail)",
                       "$(wake_usb_fail)"}),
              notices());
    EXPECT_EQ(5u, writes().size());
}

TEST_F(BiosFreshInstall, ModelDecidesDeepSleepWakeAndSfpSteps)
{
    install_password("Lodestar");
    sim.values["SecureBoot"] = 1;  // left alone
    const Strings common = {token_write(0x109, 0, KEY), token_write(0x6E, 1, KEY), token_write(0x138, 1, KEY)};
    const struct {
        const char *model;
        bool sfp_nic;
        Strings tail;
    } cases[] = {
        {"Lumen 83", false, {token_write(0x446, 1, KEY)}},  // wakes from the dock
        {"K50AIO", false, {token_write(0x147, 1, KEY)}},    // its deep sleep is not switched off
        {"K10X", false, {token_write(0xF6, 0, KEY), token_write(0x147, 1, KEY)}},
        {"Vantor 70", false, {token_write(0xF6, 0, KEY), token_write(0x147, 1, KEY)}},
        {"Vantor 70", true, {token_write(0xF6, 0, KEY), token_write(0x147, 1, KEY), token_write(0x44A, 1, KEY)}},
    };
    for (const auto &c : cases) {
        set_model(c.model);
        if (c.sfp_nic)
            g_mkdir_with_parents(root.file("compat/linux/sys/class/net/re1").c_str(), 0755);
        sim.requests.clear();
        bios_fresh_install_apply();
        Strings expected = common;
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(expected, writes()) << c.model;
    }
    EXPECT_EQ(0, bios_change_reboot_flag);
    sim.faults = {{.token = 0x44A, .status = 4}};
    log.lines.clear();
    bios_fresh_install_apply();
    EXPECT_EQ((Strings{"$(smbios_nic_error)", "$(sfp_fail)"}), notices());
}

// Records every mount call; the first answers `first_error`, later ones succeed.
struct MountRecorder {
    static inline std::vector<std::pair<std::string, std::string>> calls;  // target, options
    static inline int first_error = 0;
    static int mount(const char *source, const char *target, const char *fstype, unsigned long flags,
                     const char *options)
    {
        EXPECT_EQ("vfat", std::string(fstype));
        EXPECT_EQ(0xC0ED000AUL, flags);
        calls.emplace_back(std::string(source) + " " + target, options);
        return calls.size() == 1 ? first_error : 0;
    }
};

class BiosUpdate : public BiosFreshInstall {
protected:
    void SetUp() override
    {
        BiosFreshInstall::SetUp();
        MountRecorder::calls.clear();
        previous_mount = host_mount_set_for_tests(&MountRecorder::mount);
    }
    void TearDown() override
    {
        host_mount_set_for_tests(previous_mount);
        BiosFreshInstall::TearDown();
    }
    HostMountFn previous_mount = nullptr;
};

TEST_F(BiosUpdate, MountsTheMediumAndRetriesOnlyAWriteProtectedOneReadOnly)
{
    ASSERT_EQ(0, mkdir(root.file("mnt").c_str(), 0755));
    const std::string medium = root.file("dev/sdda0p1") + " " + root.file("mnt/bios");
    for (int error : {ENOENT, EROFS}) {
        MountRecorder::calls.clear();
        MountRecorder::first_error = error;
        const mode_t mask = umask(022);
        EXPECT_TRUE(update_bios_mount_medium());
        EXPECT_EQ(022u, umask(mask)) << "the file-creation mask is left alone";
        EXPECT_TRUE(g_file_test(root.file("mnt/bios").c_str(), G_FILE_TEST_IS_DIR));
        std::vector<std::pair<std::string, std::string>> expected = {{medium, "uid=1001"}};
        if (error == EROFS)
            expected.emplace_back(medium, "uid=1001,ro");
        EXPECT_EQ(expected, MountRecorder::calls);
    }
}

TEST_F(BiosUpdate, MountPointThatCannotBeMadeStopsStartAndUpdate)
{
    put(root.file("mnt"), "not a folder");
    EXPECT_FALSE(bios_prepare());
    EXPECT_FALSE(update_bios_mount_medium());
    EXPECT_TRUE(requests().empty());
    EXPECT_TRUE(MountRecorder::calls.empty());
}

}  // namespace
