"""The four services answer: their version properties."""


def run(env, show):
    show("service versions")
    for service in ("settings", "bios", "headset"):
        show(None, "Get %s.version" % service, env.get_property(service, "version"))
    show(None, "GetAll com.corvo.thirdapps", dict(env.get_all("thirdapps")))
