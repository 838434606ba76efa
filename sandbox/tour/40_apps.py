"""Headset companion apps and add-on components: a headset app is disabled and enabled
again with a configuration file, and the HID multiplexer is switched on and off."""
import json
import os



def run(env, show):

    show("headset companion apps")
    jabra = "/compat/linux/apps/Jabra/usr/local"
    for params in ({"jabraEnable": 0}, {"jabraEnable": 1, "jabraConfigFile": _sample_config(env)}):
        text = json.dumps(params)
        show(None, "SetHeadset %s" % text, env.call("headset", "SetHeadset", text))
        show(None, "  Jabra program folders", sorted(os.listdir(env.root(jabra))))
    show(None, "  installed /opt/jabra/Jabra.ini", repr(env.root.read("/opt/jabra/Jabra.ini")))
    env.apps.wait_for_calls("jdu.sh", 1, timeout=5)

    show("HID multiplexer")
    for on in (True, False):
        text = json.dumps({"name": "HID", "status": on})
        show(None, "SetAppStatus %s" % text, env.call("thirdapps", "SetAppStatus", text))
        status = [line for line in env.apps.hid_conf().splitlines() if line.startswith("Status=")]
        show(None, "  warthog.conf", status)
        if env.peers is not None:
            show(None, "  stored HID/Status", env.peers.get("HID", "Status"))

    text = json.dumps([{"plugin": "teams", "value": True}, {"plugin": "zoom", "value": False}])
    show(None, "EnableUCPlugins %s" % text, env.call("thirdapps", "EnableUCPlugins", text))
    show(None, "  scripts run", env.apps.script_calls())



def _sample_config(env):
    path = os.path.join(env.workdir, "Jabra.ini")
    with open(path, "w") as f:
        f.write("[general]\nautoanswer=1\n")
    return path
