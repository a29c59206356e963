#!/usr/bin/python3
"""The update windows through their accessible names (AT-SPI), for
tests/gui/update_test.sh; built on atspi.py beside it.

  update_atspi.py APP names            names of the showing widgets
  update_atspi.py APP click NAME       clicks the widget NAME (real X input)
  update_atspi.py APP state NAME       its states
  update_atspi.py APP text NAME        the text it holds (an edit box)
  update_atspi.py APP progress         the progress bar's filled part, 0 to 1

APP is the program's name on the accessibility bus (pimlora, setupfetch).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi  # noqa: E402
import pyatspi  # noqa: E402


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    atspi.APP = argv[1]
    verb = argv[2]
    if verb == "names":
        for acc in atspi.walk(atspi.app()):
            if atspi.showing(acc) and atspi.name_of(acc):
                print(acc.getRoleName() + "\t" + atspi.name_of(acc))
    elif verb in ("click", "state", "text") and len(argv) == 4:
        acc = atspi.find(argv[3])
        if acc is None:
            sys.exit(4)
        if verb == "click":
            atspi.click(acc)
        elif verb == "state":
            print(" ".join(pyatspi.stateToString(s) for s in acc.getState().getStates()))
        else:
            t = acc.queryText()
            print(t.getText(0, t.characterCount))
    elif verb == "progress":
        for acc in atspi.walk(atspi.app()):
            if acc.getRoleName() == "progress bar":
                print(acc.queryValue().currentValue)
                return
        sys.exit(4)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
