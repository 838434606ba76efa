"""com.corvo.settings over the bus with a recording sysctl, the stand-in store and a
throwaway host root: what each method leaves in the kernel (recorded commands), the store
and the host files, and the stored settings re-applied at start-up. The text rules behind
them (class lists, redirection ids, the line editor) are the unit tests'."""
import json
import os
import random

import pytest

from helpers import FAIL, LOADER, SUCCESS, SYSCTL, call, daemon

UNRELATED = '# boot settings\nkern.vty="vt"\nhw.re.eee_enable_other="1"\n'
OLD_LISTS = ('# USB policy\nusb.whitelist.vidpid="0x1111:0x2222"\nusb.whitelist.class="HID"\n'
             'usb.blacklist.vidpid="0x3333:0x4444"\nusb.blacklist.class="Audio"\nusbRedirect="1"\n')
KEPT = '# USB policy\nusbRedirect="1"\n'
REDIRECT = "1,0,1,{0x12345678,0x0,0x3}"
LOCAL = "0,0,1,{0x0,0x080650,0x1}"


def sysctl(env):
    return [argv[1] for argv in env.recorder.calls("sysctl")]


class TestTerminal:
    @pytest.mark.parametrize("value,state", [("yes", "NONE"), ("no", "S5"), ("nonsense", "S5")])
    def test_power_button_is_applied_and_stored(self, env, value, state):
        assert call(env, "SetTerminal", {"DisablePowerButton": value}) == SUCCESS
        assert sysctl(env) == ["hw.acpi.power_button_state=" + state]
        assert env.peers.get("termsetting", "dispowerbutton") == value

    @pytest.mark.parametrize("params,stored", [({"DisablePowerButton": "maybe", "DisableRestart": "yes"}, "yes"),
                                               ("{DisablePowerButton", None)])
    def test_without_a_power_button_value_only_restart_is_stored_and_it_fails(self, env, params, stored):
        assert call(env, "SetTerminal", params) == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == ({} if stored is None else {("termsetting", "disrestart"): stored})

    def test_value_cut_inside_a_character_reaches_the_store_as_text(self, env):
        # 64-byte field: "yes!" and 29 two-byte characters fill 62 bytes, the 30th would be
        # cut in half; the store takes only whole characters.
        assert call(env, "SetTerminal", {"DisablePowerButton": "yes!" + "\u00e9" * 40}) == SUCCESS
        assert env.peers.get("termsetting", "dispowerbutton") == "yes!" + "\u00e9" * 29

    def test_serial_port_change_and_a_request_without_the_member_fails(self, env):
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'
        assert env.peers.get("com", "disable_board_serial") == "false"
        assert call(env, "ConfigBoardSerialPort", {"Other": True}) == FAIL

    def test_uhid_list_reaches_file_and_kernel_and_a_list_the_file_cannot_hold_is_refused(self, env):
        assert call(env, "SetUsbUhidDriver", {"uhid": "0x1234:0x5678,0x0a0b:0x0c0d"}) == SUCCESS
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="0x1234:0x5678,0x0a0b:0x0c0d"\n'
        assert sysctl(env) == ["hw.usb.uhid_driver_devices_string={0x1234:0x5678,0x0a0b:0x0c0d}"]
        assert call(env, "SetUsbUhidDriver", {"uhid": '0x1"2'}) == FAIL
        assert len(sysctl(env)) == 1

    def test_every_writer_keeps_the_other_lines_and_one_line_per_tunable(self, env):
        env.root.write(LOADER, UNRELATED + '# usb.whitelist.class="a comment"\nusb.whitelistXclass="1"\n', mode=0o600)
        for method, params in [("SetTerminal", {"DisablePowerButton": "yes"}),
                               ("ConfigBoardSerialPort", {"BoardSerialPortEnable": True}),
                               ("SetUsbUhidDriver", {"uhid": "a"}), ("SetUsbUhidDriver", {"uhid": "b"}),
                               ("UsbConfigure", {"USBWhiteListClass": "HID"}), ("VusbProperty", {"usbRedirect": True}),
                               ("UsbRedConfigure", {"usbifstring": "0x12345678,NoDriver", "usbredenable": "yes"})]:
            assert call(env, method, params) == SUCCESS, method
        assert env.root.loader_conf == UNRELATED + (
            '# usb.whitelist.class="a comment"\nusb.whitelistXclass="1"\nkern.ttyS.enablement="true"\n'
            'hw.usb.uhid_device_driver.uhid="b"\nusb.whitelist.class="HID"\nusbRedirect="1"\nexcludePrinter="0"\n'
            'excludeDisk="0"\nexcludeVideo="0"\nexcludeAudio="0"\nhw.usb.product.redirect="%s"\n' % REDIRECT)
        assert os.stat(env.root(LOADER)).st_mode & 0o777 == 0o600


class TestKernelTuning:
    @pytest.mark.parametrize("params,command", [
        ({"CPUCStateLowest": "c1"}, "hw.acpi.cpu.cx_lowest=C1"), ({"CPUCStateLowest": "CMAX3"}, "hw.acpi.cpu.cx_lowest=Cmax"),
        ({"hw_usb_setting": "no_shutdown_wait=0"}, "hw.usb.no_shutdown_wait=0"),
        ({"ForceKernelCoreDump": "Yes"}, "debug.kdb.panic=1"),
        # The first member present decides alone.
        ({"CPUCStateLowest": "C1", "EnableUserCoreDump": "yes"}, "hw.acpi.cpu.cx_lowest=C1"),
        ({"CPUCStateLowest": "C2"}, None), ({"ForceKernelCoreDump": "no"}, None), ({}, None), ("[]", None),
    ])
    def test_sysctl_runs_one_command_or_fails_and_changes_nothing(self, env, params, command):
        assert call(env, "Sysctl", params) == (SUCCESS if command else FAIL)
        assert sysctl(env) == ([command] if command else [])
        assert env.peers.dump() == {} and env.root.sysctl_conf == ""

    def test_user_core_dump_sets_the_kernel_and_the_sysctl_file_or_asks_the_kernel(self, env):
        env.root.write(SYSCTL, "# host\nkern.maxfiles=1000\n")
        assert call(env, "Sysctl", {"EnableUserCoreDump": "YES"}) == SUCCESS
        assert call(env, "Sysctl", {"EnableUserCoreDump": "None"}) == SUCCESS
        assert env.root.sysctl_conf == "# host\nkern.maxfiles=1000\nkern.coredump=0\n"
        env.recorder.answer("sysctl", "kern.coredump: 1\n")
        assert call(env, "Sysctl", {"EnableUserCoreDump": "?"}) == '{"Result":"1"}'
        assert sysctl(env) == ["kern.coredump=1", "kern.coredump=0", "kern.coredump"]

    @pytest.mark.parametrize("value,aspm,switch,saved", [("yes", 2, 3, "true"), ("No", 0, 7, "false")])
    def test_adapter_audio_and_power_saving(self, env, value, aspm, switch, saved):
        assert call(env, "Sysctl", {"EnableRe0ASPM": value}) == SUCCESS
        assert sysctl(env) == ["dev.re.0.aspm_control=%d" % aspm, "dev.hdac.0.rtswitch=%d" % switch]
        assert env.peers.get("power", "most_save") == saved
        assert env.root.loader_conf == 'hw.devpmostsave="%d"\n' % (saved == "true")

    def test_sysctl_generic_stores_writes_and_sets_then_repeats_as_nothing(self, env):
        request = {"sysctl": "v4l2_not_allowed", "boolkey": True}
        for _ in range(2):
            assert call(env, "SysctlGeneric", request) == SUCCESS
        assert env.peers.get("sysctl", "v4l2_not_allowed") == "1"
        assert env.root.sysctl_conf == "hw.usb.v4l2.v4l2_not_allowed=1\n"
        assert sysctl(env) == ["hw.usb.v4l2.v4l2_not_allowed=1"]
        assert call(env, "SysctlGeneric", {"sysctl": "V4L2_NOT_ALLOWED"}) == FAIL

    @pytest.mark.parametrize("method,module,key,tunable", [
        ("EEEConfigure", "power", "energyefficientethernet", "hw.re.eee_enable"),
        ("GKeyConfigure", "shortcut", "resetkeyenable", "system_reset_key_enable"),
        ("RKeyConfigure", "shortcut", "recoverkeyenable", "system_recover_key_enable"),
    ])
    def test_boot_switches_are_stored_and_written_unless_the_same_in_any_case_and_in_the_file(
            self, env, method, module, key, tunable):
        assert call(env, method, "TRUE") == SUCCESS
        assert env.peers.get(module, key) == "TRUE"
        # The store holds the value but the file lost its line: it is written again.
        env.root.write(LOADER, "# untouched\n")
        for same in ("true", "", "true"):
            assert call(env, method, same) == SUCCESS
        assert env.root.loader_conf == '# untouched\n%s="1"\n' % tunable
        env.root.write(LOADER, "# untouched\n")
        assert call(env, method, "off") == SUCCESS
        assert env.root.loader_conf == '# untouched\n%s="0"\n' % tunable
        for stored_as_it_came in ("f" * 65, "off\x1b[2J"):
            assert call(env, method, stored_as_it_came) == FAIL
        assert env.peers.get(module, key) == "off" and env.root.loader_conf == '# untouched\n%s="0"\n' % tunable
        assert env.recorder.calls() == [], "takes effect at the next boot only"

    @pytest.mark.parametrize("param,reply,line", [("foo.bar=5", SUCCESS, 'foo.bar="1"\n'),
                                                  ("foo.bar=abc", SUCCESS, 'foo.bar="0"\n'), ("foo.bar", SUCCESS, ""),
                                                  ("a/d;x=1", FAIL, ""), ("a\nb=1", FAIL, ""), ('"q"=1', FAIL, "")])
    def test_update_loader_conf(self, env, param, reply, line):
        env.root.write(LOADER, UNRELATED)
        assert call(env, "UpdateLoaderConf", param) == reply
        assert env.root.loader_conf == UNRELATED + line


class TestUsbPolicy:
    @pytest.mark.parametrize("params,written", [
        ({"USBWhiteListClass": "MASS_STORAGE,foo,0x080650"}, 'usb.whitelist.class="MASS_STORAGE,0x080650"\n'),
        ({"USBBlackListClass": "foo,bar"}, ""),
        # A white list excludes every black list.
        ({"USBWhiteListVIDPID": "0x0951:0x1666", "USBBlackListClass": "HID"}, 'usb.whitelist.vidpid="0x0951:0x1666"\n'),
        ({"USBBlackListClass": "Printer", "USBBlackListVIDPID": "0x1234:0x5678"},
         'usb.blacklist.vidpid="0x1234:0x5678"\nusb.blacklist.class="Printer"\n'),
        ({"USBWhiteListVIDPID": '0x1"; rm', "USBWhiteListClass": "HID"}, 'usb.whitelist.class="HID"\n'),
    ])
    def test_lists_replace_the_old_four_in_place(self, env, params, written):
        env.root.write(LOADER, OLD_LISTS)
        assert call(env, "UsbConfigure", params) == SUCCESS
        assert env.root.loader_conf == "# USB policy\n" + written + 'usbRedirect="1"\n'

    def test_request_that_is_not_an_object_leaves_the_lists(self, env):
        env.root.write(LOADER, OLD_LISTS)
        assert call(env, "UsbConfigure", "[]") == FAIL
        assert env.root.loader_conf == OLD_LISTS

    def test_read_only_switch_remounts_and_is_stored_and_the_same_in_any_case_only_skips_the_remount(self, env):
        env.root.write(LOADER, OLD_LISTS)
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "YES"}) == SUCCESS
        assert env.peers.get("usbconfiguring", "udiskreadonly") == "YES"
        assert env.root.loader_conf == KEPT
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "true"}) == SUCCESS
        env.root.write(LOADER, OLD_LISTS)
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "TRUE", "USBWhiteListClass": "Video"}) == SUCCESS
        assert env.root.loader_conf == '# USB policy\nusb.whitelist.class="Video"\nusbRedirect="1"\n'
        assert env.peers.remounts() == ["ro", "rw"]


class TestUsbRedirection:
    @pytest.mark.parametrize("ids,enable,store,tunable", [
        ("0x12345678,NoDriver", "yes", {("usbifredirect", "fre_interfacestring"): REDIRECT},
         'hw.usb.product.redirect="%s"\n' % REDIRECT),
        ("0x080650", "YES please", {("usbifredirect", "fre_interfacestring"): "1,0,1,{0x0,0x080650,0x1}"}, ""),
        ("0x080650", "no", {("usbiflocal", "flo_interfacestring"): LOCAL}, 'hw.usb.product.redirect="old"\n'),
    ])
    def test_modes_apply_store_and_keep_the_no_driver_tunable(self, env, ids, enable, store, tunable):
        env.root.write(LOADER, '# boot\nhw.usb.product.redirect="old"\n')
        assert call(env, "UsbRedConfigure", {"usbifstring": ids, "usbredenable": enable}) == SUCCESS
        assert sysctl(env) == ["hw.usb.usbfs_redirect_string=" + list(store.values())[0]]
        assert env.peers.dump() == store
        assert env.root.loader_conf == "# boot\n" + tunable

    def test_special_entry_goes_to_the_kernel_as_it_stands_and_nothing_is_stored(self, env):
        assert call(env, "UsbRedConfigure", {"usbifstring": "0X00000000010100 rest", "usbredenable": "yes"}) \
            == SUCCESS
        assert sysctl(env) == ["hw.usb.usbfs_redirect_string=0X00000000010100 rest,yes"]
        assert env.peers.dump() == {} and env.root.read(LOADER) is None

    def test_vusb_switches_reach_kernel_store_and_boot_file_once(self, env):
        request = {"usbRedirect": True, "excludeVideo": True}
        for _ in range(2):
            assert call(env, "VusbProperty", request) == SUCCESS
        assert sysctl(env) == ["hw.usb.vusb_property_string=1,0,0,1,0"]
        assert env.peers.get("usbconfiguring", "vusb_property") == "1,0,0,1,0"
        assert env.root.loader_conf == ('usbRedirect="1"\nexcludePrinter="0"\nexcludeDisk="0"\nexcludeVideo="1"\n'
                                        'excludeAudio="0"\n')


class TestCameras:
    def test_files_that_are_no_devices_are_not_listed_and_take_no_format(self, env):
        env.root.write("/dev/video0", "not a device\n")
        assert call(env, "GetCameraInfo", "") == '{"result" : "Success","message": []}'
        # A path a caller sends is used as given; only a character device is opened.
        request = {"devicePath": env.root("/dev/video0"), "format": "YUYV", "width": 640, "height": 480, "fps": 30}
        os.mkfifo(env.root("/dev/video1"))
        for path in (env.root("/dev/video0"), env.root("/dev/video1"), "/dev/video9"):
            assert call(env, "SetCameraFormat", dict(request, devicePath=path)) == "-1"
        assert env.root.read("/dev/video0") == "not a device\n"


class TestStartUp:
    def test_stored_settings_are_applied_redirect_before_local(self):
        store = {("termsetting", "dispowerbutton"): "yes", ("usbiflocal", "flo_interfacestring"): LOCAL,
                 ("usbifredirect", "fre_interfacestring"): REDIRECT}
        with daemon(store=store) as env:
            assert sysctl(env) == ["hw.acpi.power_button_state=NONE", "hw.usb.usbfs_redirect_string=" + REDIRECT,
                                   "hw.usb.usbfs_redirect_string=" + LOCAL]

    def test_hostile_stored_text_stays_one_argument(self, tmp_path):
        marker = str(tmp_path / "ran")
        hostile = '1,0,0"; touch %s; echo "\nkern.evil=1 $(touch %s)' % (marker, marker)
        store = {("termsetting", "dispowerbutton"): "yes; touch " + marker,
                 ("usbifredirect", "fre_interfacestring"): hostile, ("usbiflocal", "flo_interfacestring"): "`touch x`"}
        with daemon(store=store) as env:
            assert sysctl(env) == ["hw.acpi.power_button_state=NONE", "hw.usb.usbfs_redirect_string=" + hostile,
                                   "hw.usb.usbfs_redirect_string=`touch x`"]
            assert not os.path.exists(marker)
            # Nothing of it reaches a host file, and the log shows it on one line.
            assert env.root.loader_conf == "" and env.root.sysctl_conf == ""
            assert "\\nkern.evil=1" in env.daemon.log() and "\nkern.evil" not in env.daemon.log()

    def test_settings_made_over_the_bus_come_back_after_a_restart(self, env):
        call(env, "SetTerminal", {"DisablePowerButton": "no"})
        call(env, "UsbRedConfigure", {"usbifstring": "0x080650", "usbredenable": "yes"})
        env.daemon.stop()
        env.recorder.clear()
        env.daemon.start()
        assert sysctl(env) == ["hw.acpi.power_button_state=S5", "hw.usb.usbfs_redirect_string=1,0,1,{0x0,0x080650,0x1}"]


PLAIN_TEXT_METHODS = ("EEEConfigure", "GKeyConfigure", "RKeyConfigure")


def random_settings(rng):
    """Random valid settings of every readable method, as GetSettings shows them."""
    def word():
        return rng.choice(["yes", "no"])

    def hexid(digits):
        return "0x" + "".join(rng.choice("0123456789abcdef") for _ in range(digits))

    def red_list(enable):
        entries = [hexid(rng.choice([8, 6, 14])) + rng.choice(["", ",NoDriver"]) for _ in range(rng.randint(0, 3))]
        return {"usbifstring": " ".join(entries), "usbredenable": enable}

    lists = {"USBWhiteListVIDPID": hexid(4) + ":" + hexid(4),
             "USBWhiteListClass": ",".join(rng.sample(["HID", "Audio", "Video", "0x080650"], 2))}
    if rng.random() < 0.5:  # black lists only where no white list excludes them
        lists = {k.replace("White", "Black"): v for k, v in lists.items()}
    return {
        "SetTerminal": {"DisablePowerButton": word(), "DisableRestart": word()},
        "ConfigBoardSerialPort": {"BoardSerialPortEnable": rng.random() < 0.5},
        "SetUsbUhidDriver": {"uhid": hexid(4) + ":" + hexid(4)},
        "UsbConfigure": dict(lists, EnableUDiskReadOnly=word()),
        "VusbProperty": {name: rng.random() < 0.5
                         for name in ("usbRedirect", "excludePrinter", "excludeDisk", "excludeVideo", "excludeAudio")},
        "Sysctl": {"EnableUserCoreDump": word(), "EnableRe0ASPM": word()},
        "SysctlGeneric": {"sysctl": "v4l2_not_allowed", "boolkey": rng.random() < 0.5},
        **{method: {"value": rng.choice(["true", "false"])} for method in PLAIN_TEXT_METHODS},
        "UsbRedConfigure": [red_list("yes"), red_list("no")],
    }


def send_all(env, settings, one_sysctl_member_a_call=True):
    """Every method with its members: UsbRedConfigure one call per list, the plain-text
    methods their value as the parameter, Sysctl (which acts on its first member) one member
    a call, or as shown."""
    replies = {}
    for method, members in settings.items():
        if method in PLAIN_TEXT_METHODS:
            requests = [members["value"]]
        elif method == "Sysctl" and one_sysctl_member_a_call:
            requests = [{name: value} for name, value in members.items()]
        else:
            requests = members if isinstance(members, list) else [members]
        replies[method] = [call(env, method, request) for request in requests]
    return replies


def get_settings(env, params=""):
    return json.loads(call(env, "GetSettings", params))


class TestReadBack:
    def test_random_settings_read_back_as_set_and_sent_back_change_nothing(self, env):
        for seed in range(4):
            rng = random.Random(seed)
            settings = random_settings(rng)
            assert all(r == [SUCCESS] * len(r) for r in send_all(env, settings).values()), seed
            shown = get_settings(env)
            assert shown == settings, seed

            files = (env.root.loader_conf, env.root.sysctl_conf, env.peers.dump(), env.peers.remounts())
            env.recorder.clear()
            replies = send_all(env, shown, one_sysctl_member_a_call=False)
            assert all(r == [SUCCESS] * len(r) for r in replies.values()), (seed, replies)
            assert env.recorder.calls() == [], seed
            assert (env.root.loader_conf, env.root.sysctl_conf, env.peers.dump(), env.peers.remounts()) == files
        assert "GetSettings" not in env.daemon.log()

    def test_nothing_set_unknown_names_and_unreadable_sources(self, env):
        assert get_settings(env, '["VusbProperty","UsbRedConfigure"]') == {"VusbProperty": {}, "UsbRedConfigure": []}
        # A restart switch alone is stored and read back, and that request succeeds.
        assert call(env, "SetTerminal", {"DisableRestart": "yes"}) == SUCCESS
        assert get_settings(env, '["SetTerminal"]') == {"SetTerminal": {"DisableRestart": "yes"}}
        for params in ('["VusbProperty","UpdateLoaderConf"]', '"VusbProperty"', "[1]", "{"):
            assert call(env, "GetSettings", params) == FAIL, params
        if os.path.exists(env.root(LOADER)):
            os.remove(env.root(LOADER))
        os.mkdir(env.root(LOADER))  # a folder where the file should be cannot be read
        env.peers.stop()
        shown = get_settings(env, '["SetTerminal","VusbProperty","Sysctl"]')
        assert set(shown) == {"SetTerminal", "VusbProperty", "Sysctl"}
        assert [list(value) for value in shown.values()] == [["error"]] * 3
        assert "loader.conf.local" in shown["VusbProperty"]["error"]
