"""Faults of the peers and of the host: the configuration store absent, vanishing, refusing
or slow; the device service failing a remount or gone; host programs that cannot start;
host files missing, unwritable, or folders where files should be. Each time the daemon
answers as the method says, keeps no value whose work did not land, and serves the next
call; a retry after a failure redoes the whole request."""
import os
import shutil
import subprocess

import pytest

import corvo_env
from helpers import FAIL, LOADER, SUCCESS, SYSCTL, call, daemon, finish


def keeps_serving(env):
    """A follow-up call that needs only the daemon and a host program."""
    env.recorder.clear()
    assert call(env, "Sysctl", {"CPUCStateLowest": "C1"}) == SUCCESS
    assert env.recorder.calls("sysctl") == [["sysctl", "hw.acpi.cpu.cx_lowest=C1"]]


class TestConfigurationStore:
    def test_absent_at_start_up_then_arriving(self):
        with daemon(store={("termsetting", "dispowerbutton"): "yes"}, stop_store=True) as env:
            # Start-up restore could not read the store: nothing was applied.
            assert env.recorder.calls("sysctl") == []
            assert "Error getting sys config" in env.daemon.log()
            assert call(env, "SetTerminal", {"DisablePowerButton": "no"}) == SUCCESS
            assert "Error setting sys config" in env.daemon.log()
            env.peers.start()
            assert call(env, "SetTerminal", {"DisablePowerButton": "no"}) == SUCCESS
            assert env.peers.get("termsetting", "dispowerbutton") == "no"

    def test_vanishing_between_calls_and_coming_back(self, env):
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        env.peers.stop()
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'
        env.peers.start()
        # The store kept the value from before it went away, but the file does not hold it:
        # the same-value rule asks both, so it is written; the client reconnects and later
        # changes are kept again.
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="true"\n'
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.peers.get("com", "disable_board_serial") == "false"

    def test_refusing(self, env):
        env.peers.refuse()
        # The file and the kernel took the value; a store that refuses it is only logged.
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
        assert call(env, "SetAppStatus", {"name": "HID", "status": True}, "thirdapps") == '{"result": "ok"}'
        assert env.peers.get("sysctl", "v4l2_not_allowed") is None
        assert "Error setting sys config: refused" in env.daemon.output()
        env.peers.refuse(False)
        keeps_serving(env)

    def test_answering_slowly_is_waited_for(self, env):
        env.peers.delay(800)
        assert call(env, "SetTerminal", {"DisablePowerButton": "yes", "DisableRestart": "no"}) == SUCCESS
        assert env.peers.get("termsetting", "disrestart") == "no"


class TestDeviceService:
    @pytest.mark.parametrize("answer,stored", [("Failed: device busy", None), ("SUCCESS, remounted", "yes")])
    def test_only_a_remount_that_succeeded_is_stored(self, env, answer, stored):
        env.peers.remount_answer(answer)
        # The lists land either way; the reply does not report the remount.
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}) == SUCCESS
        assert env.peers.get("usbconfiguring", "udiskreadonly") == stored
        assert env.root.loader_conf == 'usb.whitelist.class="HID"\n'
        env.peers.remount_answer("Success")
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes"}) == SUCCESS
        assert env.peers.remounts() == ["ro"] * (2 if stored is None else 1)

    def test_device_service_gone(self, env):
        env.peers.stop()
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "no", "USBBlackListClass": "Hub"}) == SUCCESS
        assert "D settings: Error remount usbdisks" in env.daemon.log()
        assert env.root.loader_conf == 'usb.blacklist.class="Hub"\n'


class TestHostFiles:
    @pytest.mark.parametrize("method,params,module,key,stored,remounts", [
        ("VusbProperty", {"usbRedirect": True}, "usbconfiguring", "vusb_property", "1,0,0,0,0", []),
        ("UsbRedConfigure", {"usbifstring": "0x12345678,NoDriver", "usbredenable": "yes"}, "usbifredirect",
         "fre_interfacestring", "1,0,1,{0x12345678,0x0,0x3}", []),
        ("UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}, "usbconfiguring",
         "udiskreadonly", "yes", ["ro", "ro"]),
        ("ConfigBoardSerialPort", {"BoardSerialPortEnable": True}, "com", "disable_board_serial", "true", []),
        ("EEEConfigure", "true", "power", "energyefficientethernet", "true", []),
        ("Sysctl", {"EnableRe0ASPM": "yes"}, "power", "most_save", "true", []),
    ])
    def test_value_is_stored_only_once_the_file_holds_it(self, env, method, params, module, key, stored, remounts):
        # A folder cannot be read as a file even by root: the edit is refused, not guessed.
        env.root.write(LOADER + "/inside", "x")
        # EnableRe0ASPM answers for the kernel commands; its power saving waits for the file.
        assert call(env, method, params) == (SUCCESS if method == "Sysctl" else FAIL)
        assert os.listdir(env.root(LOADER)) == ["inside"]
        assert env.peers.get(module, key) is None
        # The same request again is no "same value": it does the whole work.
        shutil.rmtree(env.root(LOADER))
        assert call(env, method, params) == SUCCESS
        assert env.peers.get(module, key) == stored
        assert env.peers.remounts() == remounts
        assert os.path.isfile(env.root(LOADER))

    def test_unwritable_sysctl_file_fails_sets_the_kernel_and_is_retried(self, env):
        request = {"sysctl": "v4l2_not_allowed", "boolkey": True}
        os.makedirs(env.root(SYSCTL))
        assert call(env, "SysctlGeneric", request) == FAIL
        # The reply of the core dump switch follows the kernel command; the file entry is lost.
        assert call(env, "Sysctl", {"EnableUserCoreDump": "yes"}) == SUCCESS
        assert env.peers.get("sysctl", "v4l2_not_allowed") is None
        os.rmdir(env.root(SYSCTL))
        assert call(env, "SysctlGeneric", request) == SUCCESS
        assert env.root.sysctl_conf == "hw.usb.v4l2.v4l2_not_allowed=1\n"
        assert env.peers.get("sysctl", "v4l2_not_allowed") == "1"

    def test_read_only_boot_folder(self, env):
        env.root.write(LOADER, 'autoboot_delay="2"\n')
        folder = env.root("/boot")
        if subprocess.run(["mount", "--bind", folder, folder], capture_output=True).returncode != 0:
            pytest.skip("bind mounts are not allowed here")
        try:
            subprocess.run(["mount", "-o", "remount,bind,ro", folder], check=True, capture_output=True)
            assert call(env, "UpdateLoaderConf", "fault.test=1") == FAIL
            assert "boot/loader.conf.local: Read-only file system" in env.daemon.log()
            assert env.root.loader_conf == 'autoboot_delay="2"\n'
        finally:
            subprocess.run(["umount", folder], check=True, capture_output=True)
        assert call(env, "UpdateLoaderConf", "fault.test=1") == SUCCESS
        assert env.root.loader_conf == 'autoboot_delay="2"\nfault.test="1"\n'


@pytest.mark.parametrize("sysctl_fault", ["cannot start", "exits 1"])
def test_sysctl_that_fails_fails_stores_nothing_and_is_retried(world, sysctl_fault):
    world.daemon.extra_env["PATH"] = world.recorder.bin
    if sysctl_fault == "cannot start":
        os.unlink(os.path.join(world.recorder.bin, "sysctl"))
    else:
        world.recorder.answer("sysctl", "", status=1)
    world.daemon.start()
    vusb = {"usbRedirect": True, "excludeDisk": True}
    assert call(world, "VusbProperty", vusb) == FAIL
    assert call(world, "UsbRedConfigure", {"usbifstring": "0x080650", "usbredenable": "no"}) == FAIL
    assert call(world, "Sysctl", {"CPUCStateLowest": "C1"}) == FAIL
    assert call(world, "Sysctl", {"EnableUserCoreDump": "?"}) == FAIL
    assert call(world, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == FAIL
    assert call(world, "SetTerminal", {"DisablePowerButton": "yes"}) == FAIL
    assert world.peers.dump() == {}
    # The tunables are written all the same, for the next boot.
    assert world.root.loader_conf == \
        'usbRedirect="1"\nexcludePrinter="0"\nexcludeDisk="1"\nexcludeVideo="0"\nexcludeAudio="0"\n'
    world.recorder.answer("sysctl", "", status=0)
    if sysctl_fault == "cannot start":
        os.symlink(os.path.join(corvo_env.SANDBOX_DIR, "fake-bin", "recorder"),
                   os.path.join(world.recorder.bin, "sysctl"))
    world.recorder.clear()
    assert call(world, "VusbProperty", vusb) == SUCCESS
    assert call(world, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
    assert world.recorder.calls() == [["sysctl", "hw.usb.vusb_property_string=1,0,1,0,0"],
                                      ["sysctl", "hw.usb.v4l2.v4l2_not_allowed=1"]]
    assert world.peers.dump() == {("usbconfiguring", "vusb_property"): "1,0,1,0,0", ("sysctl", "v4l2_not_allowed"): "1"}
    finish(world)
