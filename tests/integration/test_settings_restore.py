"""Start-up re-application of the stored power button and USB redirection strings."""
import corvo_env
from test_settings_terminal import call

REDIRECT = "1,0,1,{0x12345678,0x0,0x3}"
LOCAL = "0,0,1,{0x0,0x080650,0x1}"


def test_stored_settings_are_applied_at_start_redirect_before_local():
    store = {("termsetting", "dispowerbutton"): "yes",
             ("usbiflocal", "flo_interfacestring"): LOCAL,
             ("usbifredirect", "fre_interfacestring"): REDIRECT}
    with corvo_env.Environment(store=store) as env:
        assert env.recorder.calls("sysctl") == [
            ["sysctl", "hw.acpi.power_button_state=NONE"],
            ["sysctl", "hw.usb.usbfs_redirect_string=" + REDIRECT],
            ["sysctl", "hw.usb.usbfs_redirect_string=" + LOCAL],
        ]
        assert 'usbif command = sysctl hw.usb.usbfs_redirect_string="%s"' % REDIRECT in env.daemon.log()
        env.daemon.stop()
        assert not env.daemon.sanitizer_reports()


def test_nothing_stored_runs_nothing(world):
    world.daemon.start()
    assert world.recorder.calls() == []


def test_unknown_power_button_text_runs_only_the_redirection():
    store = {("termsetting", "dispowerbutton"): "maybe", ("usbiflocal", "flo_interfacestring"): LOCAL}
    with corvo_env.Environment(store=store) as env:
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.usbfs_redirect_string=" + LOCAL]]
        env.daemon.stop()
        assert not env.daemon.sanitizer_reports()


def test_settings_made_over_the_bus_come_back_after_a_restart(world):
    world.daemon.start()
    call(world, "SetTerminal", {"DisablePowerButton": "no"})
    call(world, "UsbRedConfigure", {"usbifstring": "0x080650", "usbredenable": "yes"})
    world.daemon.stop()
    world.recorder.clear()
    world.daemon.start()
    assert world.recorder.calls("sysctl") == [
        ["sysctl", "hw.acpi.power_button_state=S5"],
        ["sysctl", "hw.usb.usbfs_redirect_string=1,0,1,{0x0,0x080650,0x1}"],
    ]


def test_store_that_is_not_there_does_not_stop_the_start(world):
    world.peers.stop()
    world.daemon.start()
    assert world.daemon.alive()
    assert world.recorder.calls() == []
