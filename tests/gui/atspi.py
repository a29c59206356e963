#!/usr/bin/python3
"""Finds the editor's widgets by their accessible names (AT-SPI) and drives
them with real X input through xdotool.

  atspi.py menu MENU ITEM     opens the menu bar's MENU and clicks ITEM;
                              exit 3 when ITEM is greyed, 4 when not found
  atspi.py click NAME [ROLE]  clicks the showing widget named NAME
  atspi.py where NAME [ROLE]  prints "X Y W H" of that widget (screen)
  atspi.py state NAME [ROLE]  prints its states (enabled, checked, ...)
  atspi.py names [ROLE]       lists the names of the showing widgets
  atspi.py tree [DEPTH]       dumps the editor's accessible tree

NAME matches after trimming blanks; ROLE is an AT-SPI role name such as
"push button", "menu item", "check box", "slider", "text".
"""
import subprocess
import sys
import time

import pyatspi

APP = "pimlora"


def app():
    for _ in range(100):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == APP:
                return a
        time.sleep(0.1)
    sys.exit("atspi: the editor is not on the accessibility bus")


def walk(acc, depth=0, limit=30):
    if acc is None or depth > limit:
        return
    yield acc
    try:
        n = acc.childCount
    except Exception:
        return
    for i in range(n):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1, limit)


def showing(acc):
    try:
        return acc.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def name_of(acc):
    try:
        return (acc.name or "").strip()
    except Exception:
        return ""


def find(name, role=None, root=None, need_showing=True, tries=50):
    for _ in range(tries):
        for acc in walk(root or app()):
            if name_of(acc) != name.strip():
                continue
            if role and acc.getRoleName() != role:
                continue
            if need_showing and not showing(acc):
                continue
            return acc
        time.sleep(0.1)
    return None


def centre(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ext.x + ext.width // 2, ext.y + ext.height // 2


def click(acc):
    x, y = centre(acc)
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
    time.sleep(0.15)
    subprocess.run(["xdotool", "click", "1"], check=True)
    time.sleep(0.3)


def enabled(acc):
    s = acc.getState()
    return s.contains(pyatspi.STATE_ENABLED) and s.contains(pyatspi.STATE_SENSITIVE)


def menu(title, item):
    bar_menu = find(title, "menu")
    if bar_menu is None:
        sys.exit(4)
    click(bar_menu)
    entry = None
    for _ in range(50):
        for i in range(bar_menu.childCount):
            c = bar_menu.getChildAtIndex(i)
            if name_of(c) == item.strip() and showing(c):
                entry = c
                break
        if entry is not None:
            break
        time.sleep(0.1)
    if entry is None:
        subprocess.run(["xdotool", "key", "Escape"])
        sys.exit(4)
    if not enabled(entry):
        subprocess.run(["xdotool", "key", "Escape"])
        sys.exit(3)
    click(entry)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    verb = argv[1]
    if verb == "menu" and len(argv) == 4:
        menu(argv[2], argv[3])
    elif verb in ("click", "where", "state") and len(argv) in (3, 4):
        acc = find(argv[2], argv[3] if len(argv) == 4 else None)
        if acc is None:
            sys.exit(4)
        if verb == "click":
            click(acc)
        elif verb == "where":
            e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            print(e.x, e.y, e.width, e.height)
        else:
            print(" ".join(pyatspi.stateToString(s) for s in acc.getState().getStates()))
    elif verb == "names":
        role = argv[2] if len(argv) > 2 else None
        for acc in walk(app()):
            if showing(acc) and name_of(acc) and (role is None or acc.getRoleName() == role):
                print(acc.getRoleName() + "\t" + name_of(acc))
    elif verb == "tree":
        depth = int(argv[2]) if len(argv) > 2 else 8

        def dump(acc, d):
            if d > depth:
                return
            print("  " * d + acc.getRoleName(), repr(name_of(acc)), "" if showing(acc) else "(hidden)")
            for i in range(acc.childCount):
                dump(acc.getChildAtIndex(i), d + 1)
        dump(app(), 0)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
