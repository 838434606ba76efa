"""Settings, part one: the power button, the board serial port, the HID driver list, the USB
device policy and USB redirection, with the boot-loader lines and sysctl calls they leave."""
import json

import corvo_env


def _loader_lines(env, names):
    return [line for line in env.root.loader_conf.splitlines() if line.split("=", 1)[0] in names]


def _step(env, show, method, params, names=()):
    text = json.dumps(params)
    env.recorder.clear()
    show(None, "%s %s" % (method, text), env.call("settings", method, text))
    show(None, "  programs run (argv)", env.recorder.calls("sysctl") or "none")
    if names:
        show(None, "  its lines in /boot/loader.conf.local", _loader_lines(env, names))


def run(env, show):
    corvo_env.wait_until(lambda: env.answers("settings"), 10)
    peers = getattr(env, "peers", None)

    show("terminal, serial port and HID driver")
    _step(env, show, "SetTerminal", {"DisablePowerButton": "yes", "DisableRestart": "no"})
    if peers is not None:
        show(None, "  stored termsetting/dispowerbutton", peers.get("termsetting", "dispowerbutton"))
    _step(env, show, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}, ["kern.ttyS.enablement"])
    _step(env, show, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False})
    _step(env, show, "SetUsbUhidDriver", {"uhid": "0x046d:0xc52b"}, ["hw.usb.uhid_device_driver.uhid"])

    lists = ["usb.whitelist.vidpid", "usb.whitelist.class", "usb.blacklist.vidpid", "usb.blacklist.class"]
    show("USB device policy")
    _step(env, show, "UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "MASS_STORAGE,foo,0x080650",
                                      "USBBlackListClass": "0x03"}, lists)
    if peers is not None:
        show(None, "  remounts asked of the device service", peers.remounts())
    _step(env, show, "UsbConfigure", {"EnableUDiskReadOnly": "no", "USBBlackListClass": "0x03,0x0701"}, lists)

    show("USB redirection")
    red = ["hw.usb.product.redirect"]
    _step(env, show, "UsbRedConfigure", {"usbifstring": "0x12345678,NoDriver 0x080650", "usbredenable": "yes"}, red)
    _step(env, show, "UsbRedConfigure", {"usbifstring": "0x0abc1234080650", "usbredenable": "no"}, red)
    if peers is not None:
        show(None, "  stored redirect / local strings",
             [peers.get("usbifredirect", "fre_interfacestring"), peers.get("usbiflocal", "flo_interfacestring")])
    switches = ["usbRedirect", "excludePrinter", "excludeDisk", "excludeVideo", "excludeAudio"]
    _step(env, show, "VusbProperty", {"usbRedirect": True, "excludeDisk": True}, switches)
    _step(env, show, "VusbProperty", {"usbRedirect": True, "excludeDisk": True})
