"""An AT-SPI client, as a screen reader sees a window; run with Debian's
/usr/bin/python3 (python3-pyatspi) on the program's session bus.

    atspi_tree.py TITLE             one JSON line per child of the window TITLE
                                    (after one line for the window itself)
    atspi_tree.py TITLE press NAME  runs the press action of the child NAME
    atspi_tree.py TITLE ends        per text child and word or sentence start, a JSON
                                    line [name, text, start, end, characterCount]
                                    of the text at the end offset
    atspi_tree.py listen SECONDS    "ready", then a JSON line per text or focus event
"""

import json
import sys

import pyatspi


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
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return {"role": node.getRoleName(), "name": node.name, "text": text, "actions": actions,
            "description": node.description,
            "states": [pyatspi.stateToString(s) for s in node.getState().getStates()],
            "extents": [box.x, box.y, box.width, box.height]}


def main(argv):
    if argv[1] == "listen":
        from gi.repository import GLib
        pyatspi.Registry.registerEventListener(
            lambda e: print(json.dumps({"type": e.type, "name": e.source.name, "data": str(e.any_data)}), flush=True),
            "object:text-changed", "focus:")
        GLib.timeout_add(int(float(argv[2]) * 1000), pyatspi.Registry.stop)
        print("ready", flush=True)
        pyatspi.Registry.start()
        return 0
    windows = [w for app in pyatspi.Registry.getDesktop(0) for w in app or [] if w is not None and w.name == argv[1]]
    if not windows:
        print("no window named %r" % argv[1], file=sys.stderr)
        return 1
    if argv[2:3] == ["ends"]:
        for child in windows[0]:
            try:
                text = child.queryText()
            except NotImplementedError:
                continue
            for boundary in (pyatspi.TEXT_BOUNDARY_WORD_START, pyatspi.TEXT_BOUNDARY_SENTENCE_START):
                got, start, end = text.getTextAtOffset(text.characterCount, boundary)
                print(json.dumps([child.name, got, start, end, text.characterCount]), flush=True)
        return 0
    if argv[2:3] == ["press"]:
        action = next(c for c in windows[0] if c.name == argv[3]).queryAction()
        return 0 if action.doAction([action.getName(i) for i in range(action.nActions)].index("Press")) else 1
    print(json.dumps({"role": windows[0].getRoleName(), "name": windows[0].name, "children": windows[0].childCount}))
    for child in windows[0]:
        print(json.dumps(describe(child)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
