"""Faults of the peers and of the host: the configuration store absent, vanishing, refusing
or slow; the device service failing a remount; the SMI request file missing or answering
badly; host files missing, unwritable, or folders where files should be. Each time the
daemon answers as the method says, logs what went wrong, and serves the next call."""
import json
import os
import shutil
import subprocess

import pytest

import corvo_env
from helpers import FAIL, LOADER, SUCCESS, SYSCTL, call, finish, skip_without_bios


def keeps_serving(env):
    """A follow-up call that needs only the daemon and a host program."""
    env.recorder.clear()
    assert call(env, "Sysctl", {"CPUCStateLowest": "C1"}) == SUCCESS
    assert env.recorder.calls("sysctl") == [["sysctl", "hw.acpi.cpu.cx_lowest=C1"]]
    assert env.daemon.alive()


class TestConfigurationStore:
    def test_absent_at_start_up_then_arriving(self, world):
        world.peers.set("termsetting", "dispowerbutton", "yes")
        world.peers.stop()
        world.daemon.start()
        # Start-up restore could not read the store: nothing was applied, nothing crashed.
        assert world.recorder.calls("sysctl") == []
        assert "Error getting sys config" in world.daemon.log()
        # Without the store the setting is applied but cannot be kept.
        assert call(world, "SetTerminal", {"DisablePowerButton": "no"}) == SUCCESS
        assert ["sysctl", "hw.acpi.power_button_state=S5"] in world.recorder.calls("sysctl")
        assert "Error setting sys config" in world.daemon.log()
        world.peers.start()
        assert call(world, "SetTerminal", {"DisablePowerButton": "no", "DisableRestart": "yes"}) == SUCCESS
        assert world.peers.get("termsetting", "dispowerbutton") == "no"
        assert world.peers.get("termsetting", "disrestart") == "yes"
        keeps_serving(world)
        finish(world)

    def test_vanishing_between_calls_and_coming_back(self, env):
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        env.peers.stop()
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert 'kern.ttyS.enablement="false"' in env.root.loader_conf
        assert "Error setting sys config" in env.daemon.log()
        env.peers.start()
        # The store still holds the value from before it went away, and the same-value rule
        # compares with the store; the client reconnects and later changes are kept again.
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == FAIL
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.peers.get("com", "disable_board_serial") == "false"
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        assert env.peers.get("com", "disable_board_serial") == "true"
        assert 'kern.ttyS.enablement="true"' in env.root.loader_conf
        keeps_serving(env)

    def test_refusing(self, env):
        env.peers.refuse()
        # The file and the kernel took the value; a store that refuses it is only logged.
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
        assert call(env, "SetAppStatus", {"name": "HID", "status": True}, "thirdapps") == '{"result": "ok"}'
        assert env.peers.get("sysctl", "v4l2_not_allowed") is None
        assert "Error" in env.daemon.log()
        env.peers.refuse(False)
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
        keeps_serving(env)

    def test_answering_slowly_is_waited_for(self, env):
        env.peers.delay(1500)
        assert call(env, "SetTerminal", {"DisablePowerButton": "yes", "DisableRestart": "no"}) == SUCCESS
        assert env.peers.get("termsetting", "dispowerbutton") == "yes"
        assert env.peers.get("termsetting", "disrestart") == "no"
        env.peers.delay(0)
        keeps_serving(env)


class TestDeviceService:
    def test_failed_remount_is_not_stored_and_the_next_one_is(self, env):
        env.peers.remount_answer("Failed: device busy")
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}) == SUCCESS
        assert env.peers.get("usbconfiguring", "udiskreadonly") is None
        assert env.root.loader_conf == 'usb.whitelist.class="HID"\n'
        env.peers.remount_answer("Success")
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes"}) == SUCCESS
        assert env.peers.remounts() == ["ro", "ro"]
        assert env.peers.get("usbconfiguring", "udiskreadonly") == "yes"
        keeps_serving(env)

    def test_device_service_gone(self, env):
        env.peers.stop()
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "no", "USBBlackListClass": "Hub"}) == SUCCESS
        assert "D settings: Error remount usbdisks" in env.daemon.log()
        assert env.root.loader_conf == 'usb.blacklist.class="Hub"\n'
        env.peers.start()
        keeps_serving(env)


def get_bios(env, keys):
    return json.loads(call(env, "GetBios", keys, "bios"))["result"]


class TestSmiFile:
    def test_missing_request_file(self):
        with corvo_env.Environment(model="K50AIO", start_daemon=False) as env:
            if env.bios is not None:
                env.bios.stop()
            env.daemon.start()
            assert "smi request write open file fail" in env.daemon.log()
            assert get_bios(env, ["DeviceKORACMOSAudio"]) == "FAILED"
            assert env.call("bios", "UpdateBios") == '{"result":"FAILED", "message": ""}'
            keeps_serving(env)
            finish(env)

    @pytest.mark.parametrize("kind,logged,audio", [("bad_header", "read header error", "err"),
                                                   ("read_error", "smi read file error is", "err"),
                                                   ("write_error", "smi write file error is", "err"),
                                                   ("short", None, "No"), ("long_field", "length error, truncated!", "No")])
    def test_faulty_answers_at_start_up_and_later(self, kind, logged, audio):
        skip_without_bios()
        with corvo_env.Environment(model="K50AIO", start_daemon=False) as env:
            env.bios.fault(kind=kind)
            env.daemon.start()
            assert logged is None or logged in env.daemon.log()
            # A failed read shows in its member; the asset tag row makes the read a success.
            assert call(env, "GetBios", ["DeviceKORACMOSAudio", "DeviceKORACMOSAssettag"], "bios") == \
                '{"result":"Success", "message": {"DeviceKORACMOSAudio":"%s","DeviceKORACMOSAssettag": ""}}' % audio
            env.bios.clear_faults()
            assert get_bios(env, ["DeviceKORACMOSAudio"]) == "Success"
            keeps_serving(env)
            finish(env)


def read_only_bind(folder):
    """Makes `folder` read-only for root too, with a read-only bind mount over itself.
    Returns an undo function, or None where this machine does not allow it."""
    if shutil.which("mount") is None:
        return None
    if subprocess.run(["mount", "--bind", folder, folder], capture_output=True).returncode != 0:
        return None
    if subprocess.run(["mount", "-o", "remount,bind,ro", folder], capture_output=True).returncode != 0:
        subprocess.run(["umount", folder], capture_output=True)
        return None
    return lambda: subprocess.run(["umount", folder], capture_output=True, check=True)


class TestHostFiles:
    def test_missing_loader_file_is_created(self, env):
        assert not os.path.exists(env.root(LOADER))
        assert call(env, "UpdateLoaderConf", "fault.test=1") == SUCCESS
        assert env.root.loader_conf == 'fault.test="1"\n'

    def test_missing_boot_folder(self, env):
        shutil.rmtree(env.root("/boot"))
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == FAIL
        assert "loader.conf.local" in env.daemon.log()
        # Not stored: the same request is not refused as unchanged once the file can be written.
        assert env.peers.get("com", "disable_board_serial") is None
        os.makedirs(env.root("/boot"))
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="true"\n'
        keeps_serving(env)

    @pytest.mark.parametrize("fixed_path", [LOADER, SYSCTL])
    def test_folder_where_the_file_should_be(self, env, fixed_path):
        os.makedirs(env.root(fixed_path))
        assert call(env, "UpdateLoaderConf", "fault.test=1") == (FAIL if fixed_path == LOADER else SUCCESS)
        # The reply follows the kernel command; the file entry is lost for this call.
        assert call(env, "Sysctl", {"EnableUserCoreDump": "yes"}) == SUCCESS
        assert "read error" in env.daemon.log()
        assert os.path.isdir(env.root(fixed_path))
        os.rmdir(env.root(fixed_path))
        assert call(env, "UpdateLoaderConf", "fault.test=0") == SUCCESS
        assert call(env, "Sysctl", {"EnableUserCoreDump": "yes"}) == SUCCESS
        assert "kern.coredump=1\n" in env.root.sysctl_conf
        keeps_serving(env)

    def test_read_only_boot_folder(self, env):
        env.root.write(LOADER, 'autoboot_delay="2"\n')
        undo = read_only_bind(env.root("/boot"))
        if undo is None:
            pytest.skip("read-only bind mounts are not allowed here")
        try:
            assert call(env, "UpdateLoaderConf", "fault.test=1") == FAIL
            assert call(env, "SetUsbUhidDriver", {"uhid": "0x1234:0x5678"}) == FAIL
            assert "loader.conf.local: open error(Read-only file system)" in env.daemon.log()
            assert env.root.loader_conf == 'autoboot_delay="2"\n'
        finally:
            undo()
        assert call(env, "UpdateLoaderConf", "fault.test=1") == SUCCESS
        assert env.root.loader_conf == 'autoboot_delay="2"\nfault.test="1"\n'
        keeps_serving(env)

    @pytest.mark.parametrize("method,params,module,key,stored,remounts", [
        ("VusbProperty", {"usbRedirect": True}, "usbconfiguring", "vusb_property", "1,0,0,0,0", []),
        ("UsbRedConfigure", {"usbifstring": "0x12345678,NoDriver", "usbredenable": "yes"}, "usbifredirect",
         "fre_interfacestring", "1,0,1,{0x12345678,0x0,0x3}", []),
        ("UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}, "usbconfiguring",
         "udiskreadonly", "yes", ["ro", "ro"]),
    ])
    def test_value_is_stored_only_once_the_file_holds_it(self, env, method, params, module, key, stored, remounts):
        # A folder cannot be read as a file even by root: the edit is refused, not guessed.
        os.makedirs(env.root(LOADER))
        env.root.write(LOADER + "/inside", "x")
        assert call(env, method, params) == FAIL
        assert os.listdir(env.root(LOADER)) == ["inside"]
        assert env.peers.get(module, key) is None
        # The same request again is no "same value": it does the whole work.
        shutil.rmtree(env.root(LOADER))
        assert call(env, method, params) == SUCCESS
        assert env.peers.get(module, key) == stored
        assert env.peers.remounts() == remounts
        assert os.path.isfile(env.root(LOADER))
        keeps_serving(env)


def test_sysctl_that_cannot_start_fails_stores_nothing_and_is_retried(world):
    world.daemon.extra_env["PATH"] = world.recorder.bin
    os.unlink(os.path.join(world.recorder.bin, "sysctl"))
    world.daemon.start()
    vusb = {"usbRedirect": True, "excludeDisk": True}
    assert call(world, "VusbProperty", vusb) == FAIL
    assert call(world, "UsbRedConfigure", {"usbifstring": "0x080650", "usbredenable": "no"}) == FAIL
    assert call(world, "Sysctl", {"CPUCStateLowest": "C1"}) == FAIL
    assert call(world, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == FAIL
    assert world.peers.dump() == {}
    # The tunables are written all the same, for the next boot.
    assert world.root.loader_conf == \
        'usbRedirect="1"\nexcludePrinter="0"\nexcludeDisk="1"\nexcludeVideo="0"\nexcludeAudio="0"\n'
    os.symlink(os.path.join(corvo_env.TOOLS_DIR, "fake-bin", "recorder"), os.path.join(world.recorder.bin, "sysctl"))
    assert call(world, "VusbProperty", vusb) == SUCCESS
    assert call(world, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
    assert world.recorder.calls() == [["sysctl", "hw.usb.vusb_property_string=1,0,1,0,0"],
                                      ["sysctl", "hw.usb.v4l2.v4l2_not_allowed=1"]]
    assert world.peers.dump() == {("usbconfiguring", "vusb_property"): "1,0,1,0,0", ("sysctl", "v4l2_not_allowed"): "1"}
    finish(world)
