"""An AT-SPI client, as a screen reader sees a window: run with Debian's
/usr/bin/python3 (python3-pyatspi) on the session bus of the program.

    atspi_tree.py TITLE            prints the window's children as JSON lines
    atspi_tree.py TITLE press NAME runs the press action of the child NAME
    atspi_tree.py listen SECONDS   prints "ready", then for SECONDS the text
                                   and focus events, one JSON line each

Each line: role, name, text (through the text interface), actions, states
and extents (screen coordinates). Exits 1 when no such window is listed.
"""

import json
import sys

import pyatspi


def find_window(title):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        for window in app or []:
            if window is not None and window.name == title:
                return window
    return None


def describe(node):
    try:
        text = node.queryText().getText(0, -1)
    except NotImplementedError:
        text = None
    try:
        action = node.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        actions = []
    states = sorted(pyatspi.stateToString(s) for s in node.getState().getStates())
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return {"role": node.getRoleName(), "name": node.name, "text": text, "actions": actions, "states": states,
            "extents": [box.x, box.y, box.width, box.height]}


def listen(seconds):
    from gi.repository import GLib

    def heard(event):
        print(json.dumps({"type": event.type, "name": event.source.name if event.source else None,
                          "detail1": event.detail1, "data": str(event.any_data)}), flush=True)

    pyatspi.Registry.registerEventListener(heard, "object:text-changed", "object:state-changed:focused", "focus:")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    print("ready", flush=True)
    pyatspi.Registry.start()
    return 0


def main(argv):
    if argv[1] == "listen":
        return listen(float(argv[2]))
    window = find_window(argv[1])
    if window is None:
        print("no window named %r" % argv[1], file=sys.stderr)
        return 1
    if argv[2:3] == ["press"]:
        for child in window:
            if child.name == argv[3]:
                action = child.queryAction()
                names = [action.getName(i) for i in range(action.nActions)]
                return 0 if action.doAction(names.index("Press")) else 1
        return 1
    print(json.dumps({"role": window.getRoleName(), "name": window.name, "children": window.childCount}))
    for child in window:
        print(json.dumps(describe(child)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
