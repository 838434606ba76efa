"""UsbRedConfigure and VusbProperty: the kernel's USB redirection strings and switches."""
import os

import pytest

from test_settings_terminal import FAIL, SUCCESS, call

import corvo_env

EXAMPLE = "0x12345678,NoDriver 0x080650"
EXAMPLE_ENTRIES = "2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}"
PREFIX = "hw.usb.usbfs_redirect_string="


def redirect(env, ids, enable):
    return call(env, "UsbRedConfigure", {"usbifstring": ids, "usbredenable": enable})


def kernel_strings(env):
    return [argv[1][len(PREFIX):] for argv in env.recorder.calls("sysctl") if argv[1].startswith(PREFIX)]


class TestUsbRedConfigure:
    def test_redirect_mode_applies_stores_and_keeps_the_no_driver_tunable(self, env):
        env.root.write("/boot/loader.conf.local", '# boot\nhw.usb.product.redirect="1,0,0"\n')
        assert redirect(env, EXAMPLE, "yes") == SUCCESS
        expected = "1,0," + EXAMPLE_ENTRIES
        assert env.recorder.calls("sysctl") == [["sysctl", PREFIX + expected]]
        assert env.peers.get("usbifredirect", "fre_interfacestring") == expected
        assert env.root.loader_conf == '# boot\nhw.usb.product.redirect="%s"\n' % expected

    def test_local_mode_stores_the_local_string_and_leaves_the_tunable(self, env):
        env.root.write("/boot/loader.conf.local", 'hw.usb.product.redirect="kept"\n')
        assert redirect(env, EXAMPLE, "no") == SUCCESS
        assert kernel_strings(env) == ["0,0," + EXAMPLE_ENTRIES]
        assert env.peers.get("usbiflocal", "flo_interfacestring") == "0,0," + EXAMPLE_ENTRIES
        assert env.peers.get("usbifredirect", "fre_interfacestring") is None
        assert env.root.loader_conf == 'hw.usb.product.redirect="kept"\n'

    def test_redirect_mode_without_no_driver_removes_the_tunable(self, env):
        env.root.write("/boot/loader.conf.local", 'a="1"\nhw.usb.product.redirect="old"\n')
        assert redirect(env, "0x080650", "yes") == SUCCESS
        assert env.root.loader_conf == 'a="1"\n'

    @pytest.mark.parametrize("ids,expected", [
        ("0x0abc1234080650", "1,0,1,{0xabc1234,0x80650,0x1}"),
        ("0x123456780x080650", "1,0,1,{0x0,0x080650,0x1}"),
        ("junk 0x080650", "1,0,1,{0x0,0x080650,0x1}"),
        ("", "1,0,0"),
    ])
    def test_id_forms(self, env, ids, expected):
        assert redirect(env, ids, "yes") == SUCCESS
        assert kernel_strings(env) == [expected]

    def test_at_most_sixty_four_entries(self, env):
        ids = " ".join("0x%08x" % (0x10000000 + i) for i in range(65))
        assert redirect(env, ids, "yes") == SUCCESS
        (string,) = kernel_strings(env)
        assert string.startswith("1,0,64,")
        assert string.count("{") == 64 and "0x10000040" not in string

    @pytest.mark.parametrize("enable,mode", [("Yes please", "1"), ("YES", "1"), ("no", "0"), ("", "0"),
                                             (None, "0"), ("maybe", "0")])
    def test_mode_follows_the_first_three_characters(self, env, enable, mode):
        params = {"usbifstring": "0x080650"}
        if enable is not None:
            params["usbredenable"] = enable
        assert call(env, "UsbRedConfigure", params) == SUCCESS
        assert kernel_strings(env) == [mode + ",0,1,{0x0,0x080650,0x1}"]

    def test_special_entry_goes_to_the_kernel_as_it_stands(self, env):
        env.root.write("/boot/loader.conf.local", 'hw.usb.product.redirect="old"\n')
        assert redirect(env, "0X00000000010100 rest", "yes") == SUCCESS
        assert kernel_strings(env) == ["0X00000000010100 rest,yes"]
        assert env.peers.dump() == {}
        assert env.root.loader_conf == 'hw.usb.product.redirect="old"\n'

    @pytest.mark.parametrize("params", ["usbifstring=0x080650", "[1]"])
    def test_unparsable_request_applies_and_stores_nothing(self, env, params):
        assert call(env, "UsbRedConfigure", params) == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == {}


class TestVusbProperty:
    SWITCHES = ["usbRedirect", "excludePrinter", "excludeDisk", "excludeVideo", "excludeAudio"]

    def test_switches_reach_kernel_store_and_boot_file(self, env):
        env.root.write("/boot/loader.conf.local", '# boot\nexcludeDisk="1"\nother="x"\n')
        params = {"usbRedirect": True, "excludeVideo": True, "excludeDisk": False}
        assert call(env, "VusbProperty", params) == SUCCESS
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.vusb_property_string=1,0,0,1,0"]]
        assert env.peers.get("usbconfiguring", "vusb_property") == "1,0,0,1,0"
        assert env.root.loader_conf == ('# boot\nother="x"\nusbRedirect="1"\nexcludePrinter="0"\n'
                                        'excludeDisk="0"\nexcludeVideo="1"\nexcludeAudio="0"\n')

    def test_unchanged_switches_run_and_rewrite_nothing(self):
        with corvo_env.Environment(store={("usbconfiguring", "vusb_property"): "0,1,0,0,0"}) as env:
            env.root.write("/boot/loader.conf.local", 'excludePrinter="1"\n')
            before = os.stat(env.root("/boot/loader.conf.local"))
            assert call(env, "VusbProperty", {"excludePrinter": True}) == SUCCESS
            after = os.stat(env.root("/boot/loader.conf.local"))
            assert env.recorder.calls() == []
            assert (after.st_ino, after.st_mtime_ns) == (before.st_ino, before.st_mtime_ns)
            env.daemon.stop()
            assert not env.daemon.sanitizer_reports()

    def test_unparsable_request_answers_success_and_does_nothing(self, env):
        assert call(env, "VusbProperty", "{usbRedirect: true}") == SUCCESS
        assert env.recorder.calls() == []
        assert env.root.read("/boot/loader.conf.local") is None
