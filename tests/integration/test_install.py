"""`meson install` into a temporary DESTDIR lays out what packagers ship: the daemon, the
interface descriptions, the man page and the API reference (the bus policy and the polkit
actions are tried where they act: test_access.py)."""
import os
import re
import stat
import xml.etree.ElementTree as ET

import pytest

SERVED = ["com.corvo.settings", "com.corvo.bios", "com.corvo.headset", "com.corvo.thirdapps"]
PEERS = ["com.corvo.config", "com.corvo.udev"]


def parse_with_comments(path):
    return ET.parse(path, parser=ET.XMLParser(target=ET.TreeBuilder(insert_comments=True))).getroot()


def test_daemon_is_an_executable_in_sbindir(tree):
    path = tree("sbindir", "corvo-settingsd")
    mode = os.stat(path).st_mode
    assert stat.S_ISREG(mode)
    assert mode & stat.S_IXUSR and mode & stat.S_IXOTH
    with open(path, "rb") as f:
        assert f.read(4) == b"\x7fELF"


@pytest.mark.parametrize("interface", SERVED + PEERS)
def test_interface_description_is_installed(tree, interface):
    root = ET.parse(tree("datadir", "dbus-1", "interfaces", interface + ".xml")).getroot()
    assert [i.get("name") for i in root.findall("interface")] == [interface]
    assert root.findall("interface/method")


def test_man_page_is_installed_in_section_8(tree):
    with open(tree("mandir", "man8", "corvo-settingsd.8")) as f:
        page = f.read()
    assert page.startswith(".TH CORVO-SETTINGSD 8")
    for section in ("NAME", "SYNOPSIS", "EXIT STATUS", "SIGNALS", "ENVIRONMENT", "FILES", "BUS NAMES", "LOGGING"):
        assert re.search(r"^\.SH \"?%s\"?$" % section, page, re.M), section
    for text in ("160", "161", "162", "SIGTERM", "CORVO_HOST_ROOT", "DBUS_SYSTEM_BUS_ADDRESS",
                 "/boot/loader.conf.local", "/mnt/bios", "/dev/log") + tuple(SERVED):
        assert text in page, text


@pytest.mark.parametrize("interface", SERVED + PEERS)
def test_reference_documents_every_method_argument_and_property(tree, interface):
    description = parse_with_comments(tree("datadir", "dbus-1", "interfaces", interface + ".xml"))
    with open(tree("datadir", "doc", "corvo-settingsd", "corvo-settingsd-%s.rst" % interface)) as f:
        reference = f.read()

    element = description.find("interface")
    members = element.findall("method") + element.findall("property")
    assert members
    for member in members:
        name = member.get("name")
        heading = "%s%s%s" % (interface, "." if member.tag == "method" else ":", name)
        assert re.search(r"^%s\n\^+\n" % re.escape(heading), reference, re.M), heading
        # The text after the heading's signature block is the member's own documentation.
        section = reference.split(heading + "\n", 1)[1]
        next_heading = re.search(r"^%s[.:]\w+\n\^" % re.escape(interface), section, re.M)
        section = section[:next_heading.start()] if next_heading else section
        prose = [line for line in section.splitlines()
                 if line and not line.startswith(("^", " ", "::", "..", "-"))
                 and line not in ("Methods", "Properties", "Signals")]
        assert len(" ".join(prose)) > 20, "%s has no documentation" % heading

    # Every argument, in and out, carries its own line in the doc comment of its method.
    children = list(element)
    for index, child in enumerate(children):
        if child.tag != "method":
            continue
        comment = children[index - 1]
        assert comment.tag is ET.Comment, "%s has no doc comment" % child.get("name")
        assert comment.text.strip().startswith(child.get("name") + ":")
        for arg in child.findall("arg"):
            assert re.search(r"^\s*@%s: \S" % arg.get("name"), comment.text, re.M), \
                "%s.%s: argument %s undocumented" % (interface, child.get("name"), arg.get("name"))
