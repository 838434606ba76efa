"""UsbRedConfigure and VusbProperty: the kernel's USB redirection strings and switches."""
import os

import pytest

from helpers import FAIL, LOADER, SUCCESS, call, running

EXAMPLE = "0x12345678,NoDriver 0x080650"
ENTRIES = "2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}"
PREFIX = "hw.usb.usbfs_redirect_string="


def redirect(env, ids, enable):
    return call(env, "UsbRedConfigure", {"usbifstring": ids, "usbredenable": enable})


def kernel_strings(env):
    return [argv[1][len(PREFIX):] for argv in env.recorder.calls("sysctl") if argv[1].startswith(PREFIX)]


@pytest.mark.parametrize("ids,enable,store,tunable", [
    # Redirect mode stores its string and keeps the no-driver tunable in step...
    (EXAMPLE, "yes", {("usbifredirect", "fre_interfacestring"): "1,0," + ENTRIES},
     'hw.usb.product.redirect="1,0,%s"\n' % ENTRIES),
    # ...or removes it when no entry is NoDriver; local mode stores its own and leaves it.
    ("0x080650", "yes", {("usbifredirect", "fre_interfacestring"): "1,0,1,{0x0,0x080650,0x1}"}, ""),
    (EXAMPLE, "no", {("usbiflocal", "flo_interfacestring"): "0,0," + ENTRIES}, 'hw.usb.product.redirect="old"\n'),
])
def test_modes_apply_store_and_keep_the_no_driver_tunable(env, ids, enable, store, tunable):
    env.root.write(LOADER, '# boot\nhw.usb.product.redirect="old"\n')
    assert redirect(env, ids, enable) == SUCCESS
    assert env.recorder.calls() == [["sysctl", PREFIX + list(store.values())[0]]]
    assert env.peers.dump() == store
    assert env.root.loader_conf == "# boot\n" + tunable


@pytest.mark.parametrize("ids,enable,expected", [
    ("0x0abc1234080650", "yes", "1,0,1,{0xabc1234,0x80650,0x1}"),
    ("0x123456780x080650", "yes", "1,0,1,{0x0,0x080650,0x1}"),
    ("junk 0x080650", "yes", "1,0,1,{0x0,0x080650,0x1}"),
    ("", "yes", "1,0,0"),
    # The mode follows the first three characters.
    ("0x080650", "Yes please", "1,0,1,{0x0,0x080650,0x1}"), ("0x080650", "YES", "1,0,1,{0x0,0x080650,0x1}"),
    ("0x080650", "no", "0,0,1,{0x0,0x080650,0x1}"), ("0x080650", "", "0,0,1,{0x0,0x080650,0x1}"),
    ("0x080650", None, "0,0,1,{0x0,0x080650,0x1}"), ("0x080650", "maybe", "0,0,1,{0x0,0x080650,0x1}"),
])
def test_id_forms_and_modes(env, ids, enable, expected):
    params = {"usbifstring": ids} if enable is None else {"usbifstring": ids, "usbredenable": enable}
    assert call(env, "UsbRedConfigure", params) == SUCCESS
    assert kernel_strings(env) == [expected]


def test_at_most_sixty_four_entries(env):
    assert redirect(env, " ".join("0x%08x" % (0x10000000 + i) for i in range(65)), "yes") == SUCCESS
    (string,) = kernel_strings(env)
    assert string.startswith("1,0,64,")
    assert string.count("{") == 64 and "0x10000040" not in string


def test_special_entry_goes_to_the_kernel_as_it_stands(env):
    env.root.write(LOADER, 'hw.usb.product.redirect="old"\n')
    assert redirect(env, "0X00000000010100 rest", "yes") == SUCCESS
    assert kernel_strings(env) == ["0X00000000010100 rest,yes"]
    assert env.peers.dump() == {}
    assert env.root.loader_conf == 'hw.usb.product.redirect="old"\n'


@pytest.mark.parametrize("method,params,reply", [("UsbRedConfigure", "usbifstring=0x080650", FAIL),
                                                 ("UsbRedConfigure", "[1]", FAIL),
                                                 ("VusbProperty", "{usbRedirect: true}", SUCCESS)])
def test_unparsable_request_applies_and_stores_nothing(env, method, params, reply):
    assert call(env, method, params) == reply
    assert env.recorder.calls() == []
    assert env.peers.dump() == {}
    assert env.root.read(LOADER) is None


def test_vusb_switches_reach_kernel_store_and_boot_file(env):
    env.root.write(LOADER, '# boot\nexcludeDisk="1"\nother="x"\n')
    assert call(env, "VusbProperty", {"usbRedirect": True, "excludeVideo": True, "excludeDisk": False}) == SUCCESS
    assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.vusb_property_string=1,0,0,1,0"]]
    assert env.peers.get("usbconfiguring", "vusb_property") == "1,0,0,1,0"
    assert env.root.loader_conf == ('# boot\nother="x"\nusbRedirect="1"\nexcludePrinter="0"\n'
                                    'excludeDisk="0"\nexcludeVideo="1"\nexcludeAudio="0"\n')


def test_unchanged_vusb_switches_run_and_rewrite_nothing():
    with running(store={("usbconfiguring", "vusb_property"): "0,1,0,0,0"}) as env:
        env.root.write(LOADER, 'excludePrinter="1"\n')
        before = os.stat(env.root(LOADER))
        assert call(env, "VusbProperty", {"excludePrinter": True}) == SUCCESS
        after = os.stat(env.root(LOADER))
        assert env.recorder.calls() == []
        assert (after.st_ino, after.st_mtime_ns) == (before.st_ino, before.st_mtime_ns)
