"""The configuration store stand-in: one stored setting, written and read back over the bus."""

STORE = ("com.corvo.config", "/com/corvo/config", "com.corvo.config")
STRING_TYPE = 64


def _call(env, method, signature, args):
    name, path, interface = STORE
    reply = env.bus.connection.call_blocking(name, path, interface, method, signature, list(args))
    return tuple(str(part) for part in reply) if isinstance(reply, tuple) else str(reply)


def run(env, show):
    show("configuration store (stand-in)")
    if env.peers is None:
        show(None, "stand-in peer service", "not built")
        return
    key = ("system", "power", "energyefficientethernet")
    show(None, "GetKey%r" % (key,), "(reply, error) = %r" % (_call(env, "GetKey", "sss", key),))
    show(None, "SetKeyT%r" % (key + ("no", STRING_TYPE),),
         "error = %r" % _call(env, "SetKeyT", "ssssi", key + ("no", STRING_TYPE)))
    show(None, "GetKey%r" % (key,), "(reply, error) = %r" % (_call(env, "GetKey", "sss", key),))
    show(None, "stand-in's store file", "%s/%s = %r" % (key[1], key[2], env.peers.get(key[1], key[2])))
