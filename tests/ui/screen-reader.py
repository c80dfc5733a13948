"""Reads the running enviozvr through AT-SPI, as a screen reader does.

  screen-reader.py main       the main window: every input and button has a name (or is
                              labelled by one), the progress bar too
  screen-reader.py watch N    for N seconds, the objects that report taking the focus, as
                              a screen reader hears them (a filter cell clicked meanwhile)
  screen-reader.py tree       prints the whole tree

Exits 1 with the reasons when a check fails.
"""
import sys

import pyatspi

INPUTS = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX,
          pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_PROGRESS_BAR,
          pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON}


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "enviozvr":
            return app
    sys.exit("no application enviozvr on the accessibility bus")


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def spoken_name(node):
    """The name, else the names of the objects it is labelled by."""
    if node.name.strip():
        return node.name
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                names.append(relation.getTarget(i).name)
    return " ".join(n for n in names if n.strip())


def window(app, title):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == title:
            return w
    sys.exit("no window %r" % title)


def main_window(app):
    w = window(app, "Envío de información ZVR")
    failures = []
    for node, depth in walk(w):
        if node.getRole() not in INPUTS:
            continue
        name = spoken_name(node)
        print("%s%s: %s" % ("  " * depth, node.getRoleName(), name or "<NO NAME>"))
        if not name.strip():
            failures.append(node.getRoleName())
    if failures:
        sys.exit("controls without a name: %s" % ", ".join(failures))


def watch(seconds):
    from gi.repository import GLib

    def heard(event):
        if event.detail1 == 1 and event.host_application.name == "enviozvr":
            print("focused: %s %r" % (event.source.getRoleName(), event.source.name), flush=True)

    pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused")
    GLib.timeout_add_seconds(seconds, pyatspi.Registry.stop)
    pyatspi.Registry.start()


def tree(app):
    for node, depth in walk(app):
        print("%s%s %r" % ("  " * depth, node.getRoleName(), node.name))


if __name__ == "__main__":
    if sys.argv[1] == "watch":
        watch(int(sys.argv[2]))
    else:
        {"main": main_window, "tree": tree}[sys.argv[1]](application())
