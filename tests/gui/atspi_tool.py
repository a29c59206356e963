#!/usr/bin/python3
"""Finds the editor's controls by their accessible names (AT-SPI), for the
GUI tests, which then press them with real X input (xdotool).

  atspi_tool.py where NAME [ROLE] [INDEX]   centre "X Y" of the INDEX-th (0)
                                            showing control with that name
  atspi_tool.py box NAME [ROLE]             "X Y W H" of the showing control
  atspi_tool.py downs MENU ITEM             how many Down presses reach ITEM
                                            in the open menu MENU (enabled
                                            entries only, as GTK moves)
  atspi_tool.py value NAME [ROLE]           the current value of a slider
  atspi_tool.py text NAME [ROLE]            the text of a label or box
  atspi_tool.py menuindex MENU              position of MENU in the menu bar (0 first)
  atspi_tool.py texts                       the texts of every showing text box
  atspi_tool.py names                       every named control (debugging)
Exit status 1 when nothing matches.
"""
import sys

import pyatspi


def app():
    desktop = pyatspi.Registry.getDesktop(0)
    for a in desktop:
        if a is not None and a.name == "pimlora":
            return a
    return None


def walk(obj, depth=0):
    if obj is None or depth > 60:
        return
    yield obj
    try:
        n = obj.childCount
    except Exception:
        return
    for i in range(n):
        try:
            child = obj.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def showing(o):
    try:
        s = o.getState()
        return s.contains(pyatspi.STATE_SHOWING) and s.contains(pyatspi.STATE_VISIBLE)
    except Exception:
        return False


def matches(o, name, role):
    try:
        return o.name.strip() == name.strip() and (role is None or o.getRoleName() == role)
    except Exception:
        return False


def find(name, role=None, index=0, need_showing=True):
    a = app()
    found = [o for o in walk(a) if matches(o, name, role) and (not need_showing or showing(o))]
    return found[index] if len(found) > index else None


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    cmd = argv[1]
    if cmd == "where":
        role = argv[3] if len(argv) > 3 and argv[3] else None
        index = int(argv[4]) if len(argv) > 4 else 0
        o = find(argv[2], role, index)
        if o is None:
            return 1
        e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(e.x + e.width // 2, e.y + e.height // 2)
        return 0
    if cmd == "box":
        o = find(argv[2], argv[3] if len(argv) > 3 and argv[3] else None)
        if o is None:
            return 1
        e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(e.x, e.y, e.width, e.height)
        return 0
    if cmd == "downs":
        menu = find(argv[2], "menu", 0, need_showing=False)
        if menu is None:
            return 1
        n = 0
        for i in range(menu.childCount):
            item = menu.getChildAtIndex(i)
            if item.getRoleName() == "separator":
                continue
            if item.getState().contains(pyatspi.STATE_SENSITIVE):
                n += 1
            if item.name == argv[3]:
                if not item.getState().contains(pyatspi.STATE_SENSITIVE):
                    return 1
                print(n)
                return 0
        return 1
    if cmd == "value":
        o = find(argv[2], argv[3] if len(argv) > 3 else None)
        if o is None:
            return 1
        print(int(o.queryValue().currentValue))
        return 0
    if cmd == "text":
        o = find(argv[2], argv[3] if len(argv) > 3 else None)
        if o is None:
            return 1
        t = o.queryText()
        print(t.getText(0, t.characterCount))
        return 0
    if cmd == "menuindex":
        for o in walk(app()):
            try:
                if o.getRoleName() == "menu bar":
                    for i in range(o.childCount):
                        if o.getChildAtIndex(i).name == argv[2]:
                            print(i)
                            return 0
            except Exception:
                pass
        return 1
    if cmd == "texts":
        for o in walk(app()):
            try:
                if o.getRoleName() == "text" and showing(o):
                    t = o.queryText()
                    print(t.getText(0, t.characterCount))
            except Exception:
                pass
        return 0
    if cmd == "names":
        for o in walk(app()):
            try:
                if o.name:
                    print(o.getRoleName(), repr(o.name), "showing" if showing(o) else "")
            except Exception:
                pass
        return 0
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
