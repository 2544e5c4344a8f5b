"""The window as a screen reader sees it: the real program on a private
desktop with the AT-SPI bus, driven by keys through the X server, checked
through pyatspi on the events and states a reader acts on.

    /usr/bin/python3 atspi_test.py PROGRAM

Exits 0 when every check passes, 1 when one fails and 77 (skipped) when the
packages it needs are not installed."""

import importlib.util
import os
import re
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import session  # noqa: E402

SKIP = 77
STEP_TIMEOUT = 10  # seconds for the events of one key to arrive
SETTLE = 0.3  # quiet time after which a key's events are taken as complete

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)
    return condition


class Reader:
    """Listens on the AT-SPI bus as a screen reader does and keeps the events."""

    TYPES = ("focus:", "object:state-changed:focused", "object:state-changed:selected",
             "object:state-changed:showing", "object:property-change:accessible-name",
             "object:property-change:accessible-description")

    def __init__(self, desktop):
        import pyatspi
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.desktop = desktop
        self.events = []
        self.last_event = time.monotonic()
        pyatspi.Registry.registerEventListener(self._record, *self.TYPES)

    def _record(self, event):
        try:
            source = event.source
            role = source.getRoleName()
            name = source.name
        except Exception:  # the object is gone already
            return
        self.events.append((event.type, event.detail1, role, name, source))
        self.last_event = time.monotonic()

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while self.context.pending():
                self.context.iteration(False)
            time.sleep(0.01)

    def wait(self, predicate, what, timeout=STEP_TIMEOUT):
        """Pumps events until predicate(events) holds, then until they stop."""
        deadline = time.monotonic() + timeout
        while not predicate(self.events):
            if time.monotonic() > deadline:
                check(False, "timed out waiting for " + what)
                self.dump()
                return False
            self.pump(0.05)
        self.settle()
        return True

    def settle(self):
        deadline = time.monotonic() + STEP_TIMEOUT
        while time.monotonic() - self.last_event < SETTLE and time.monotonic() < deadline:
            self.pump(0.05)

    def dump(self):
        for type_, detail, role, name, _ in self.events:
            print("   %s %s %s %r" % (type_, detail, role, name))

    def clear(self):
        self.events = []


def cell_position(cell):
    table = cell.parent.queryTable()
    index = cell.getIndexInParent()
    return table.getRowAtIndex(index), table.getColumnAtIndex(index)


def focused(events):
    """The objects told as focused, in order."""
    return [e[4] for e in events if e[0] == "focus:"]


def last_focus(events):
    objects = focused(events)
    return objects[-1] if objects else None


def is_cell(obj, row, col):
    try:
        return obj.getRoleName() == "table cell" and cell_position(obj) == (row, col)
    except Exception:
        return False


def focus_on_cell(row, col):
    return lambda events: is_cell(last_focus(events), row, col)


def description_changed(row, col):
    return lambda events: any(e[0] == "object:property-change:accessible-description"
                              and is_cell(e[4], row, col) for e in events)


def run(program):
    desktop = session.Session(program, log=sys.stderr)
    desktop.start(with_program=False)
    try:
        os.environ.update(desktop.client_env())
        reader = Reader(desktop)
        desktop.start_program()
        checks(desktop, reader)
    finally:
        alive = desktop.app_alive()
        desktop.stop()
    check(alive, "the program was still running at the end")


def key(desktop, reader, *keys):
    reader.settle()
    reader.clear()
    desktop.xdotool("key", "--clearmodifiers", *keys)


def checks(desktop, reader):
    pyatspi = reader.pyatspi
    L = "Levererat antal för "

    # The window opens on the first customer, the focus on the Lev cell of
    # the first article, not on the table.
    reader.wait(focus_on_cell(1, 4), "the focus on the first Lev cell at start")
    cell = last_focus(reader.events)
    table_obj = cell.parent
    table = table_obj.queryTable()
    check(table_obj.name == "Artiklar för Maxi tur 1", "table named %r" % table_obj.name)
    check(cell.getState().contains(pyatspi.STATE_FOCUSED), "the first Lev cell is focused")
    check(cell.getState().contains(pyatspi.STATE_SELECTED), "the first Lev cell is selected")
    check(cell.description == "Lev för 108 Skivad J.F.: tom", "described %r" % cell.description)

    # Headers and indexes, through the table as a reader asks for them.
    headings = [table.getColumnHeader(c) for c in range(table.nColumns)]
    check([h.name if h else None for h in headings] == ["Artikel", "Lager", "Best", "Rek", "Lev"],
          "column headers %r" % [h.name if h else None for h in headings])
    articles = [table.getRowHeader(r) for r in range(1, table.nRows)]
    check(all(a is not None for a in articles) and articles[0].name == "108 Skivad J.F.",
          "row headers %r" % [a.name if a else None for a in articles])
    for row, col in ((0, 2), (3, 0), (3, 2), (7, 4)):
        index = table.getIndexAt(row, col)
        check((table.getRowAtIndex(index), table.getColumnAtIndex(index)) == (row, col),
              "cell %d,%d reports %r" % (row, col,
                                        (table.getRowAtIndex(index), table.getColumnAtIndex(index))))
    figure = table.getAccessibleAt(2, 1)
    check(re.fullmatch(r"Lager (\d+|tom)", figure.name or "") is not None,
          "a figure says its heading: %r" % figure.name)

    # Typing a digit opens the editor, named after its article.
    key(desktop, reader, "7")
    reader.wait(lambda ev: any(o.getRoleName() == "text" for o in focused(ev)), "the editor's focus")
    editor = last_focus(reader.events)
    check(editor.name == L + "108 Skivad J.F.", "editor named %r" % editor.name)

    # Return: the focus ends on the cell, whose description tells the value.
    key(desktop, reader, "Return")
    reader.wait(lambda ev: focus_on_cell(1, 4)(ev) and description_changed(1, 4)(ev),
                "the cell's focus and description after Return")
    check(focus_on_cell(1, 4)(reader.events), "the focus ends on the cell after Return")
    check(cell.description == "Lev för 108 Skivad J.F.: 7", "after Return: %r" % cell.description)

    # Down: selection and focus move; the cell left is told it is no longer selected.
    key(desktop, reader, "Down")
    reader.wait(focus_on_cell(2, 4), "the focus on row 2 after Down")
    left = [e for e in reader.events if e[0] == "object:state-changed:selected" and is_cell(e[4], 1, 4)]
    check(left and left[-1][1] == 0, "the cell left is told it is not selected")
    check(not cell.getState().contains(pyatspi.STATE_SELECTED), "the cell left is not selected")
    selected = [r for r in range(1, 8) if table.getAccessibleAt(r, 4).getState().contains(
        pyatspi.STATE_SELECTED)]
    check(selected == [2], "selected Lev cells %r" % selected)

    # Escape: straight back to the cell, not by way of the name box; nothing stored.
    key(desktop, reader, "3")
    reader.wait(lambda ev: any(o.getRoleName() == "text" for o in focused(ev)), "the editor again")
    check(last_focus(reader.events).name == L + "116 Jätterasker",
          "editor named %r" % last_focus(reader.events).name)
    key(desktop, reader, "Escape")
    reader.wait(focus_on_cell(2, 4), "the focus on the cell after Escape")
    check(not any(o.name == "Kund" for o in focused(reader.events)), "Escape passed by Kund")
    check(table.getAccessibleAt(2, 4).description == "Lev för 116 Jätterasker: tom",
          "nothing stored on Escape")

    # Up in the editor stores the entry and moves up; Down likewise down.
    key(desktop, reader, "5")
    reader.wait(lambda ev: any(o.getRoleName() == "text" for o in focused(ev)), "the editor")
    key(desktop, reader, "Up")
    reader.wait(lambda ev: focus_on_cell(1, 4)(ev) and description_changed(2, 4)(ev),
                "the focus on row 1 and row 2's new description after Up")
    check(table.getAccessibleAt(2, 4).description == "Lev för 116 Jätterasker: 5",
          "after Up: %r" % table.getAccessibleAt(2, 4).description)
    key(desktop, reader, "4")
    reader.wait(lambda ev: any(o.getRoleName() == "text" for o in focused(ev)), "the editor")
    key(desktop, reader, "Down")
    reader.wait(lambda ev: focus_on_cell(2, 4)(ev) and description_changed(1, 4)(ev),
                "the focus on row 2 and row 1's new description after Down")
    check(cell.description == "Lev för 108 Skivad J.F.: 4", "after Down: %r" % cell.description)
    check(focus_on_cell(2, 4)(reader.events), "the focus ends on the cell after Down")

    # To "Visa nästa" (Visa föreg is off on the first customer) and press it.
    key(desktop, reader, "Tab")
    reader.wait(lambda ev: last_focus(ev) is not None and last_focus(ev).name == "Kund", "Kund")
    key(desktop, reader, "Tab")
    reader.wait(lambda ev: last_focus(ev) is not None and last_focus(ev).name == "Visa nästa kund",
                "Visa nästa")
    key(desktop, reader, "space")
    reader.wait(lambda ev: any(e[0] == "object:state-changed:showing" and e[1] == 1
                               and e[2] == "notification" and e[3] == "ICA Butiken" for e in ev),
                "the new customer announced")
    check(table_obj.name == "Artiklar för ICA Butiken", "table named %r" % table_obj.name)
    check(table.getAccessibleAt(1, 4).description == "Lev för 108 Skivad J.F.: tom",
          "the new page's cells: %r" % table.getAccessibleAt(1, 4).description)

    # A client asking for all properties at once, or calling with too few
    # arguments, is refused; the program goes on answering.
    bus_name = application_bus_name(desktop)
    for path, call, *args in (
            ("/org/a11y/atspi/accessible/root", "org.freedesktop.DBus.Properties.GetAll",
             "string:org.a11y.atspi.Accessible"),
            (table_obj.path, "org.freedesktop.DBus.Properties.GetAll", "string:org.a11y.atspi.Table"),
            (table_obj.path, "org.freedesktop.DBus.Properties.Get", "string:org.a11y.atspi.Accessible"),
            (table_obj.path, "org.a11y.atspi.Table.GetRowColumnExtentsAtIndex", "int32:999"),
            (table_obj.path, "org.a11y.atspi.Accessible.GetChildAtIndex")):
        result = subprocess.run(
            ["dbus-send", "--bus=" + desktop.a11y_address, "--dest=" + bus_name, "--print-reply",
             path, call, *args], env=desktop.env, capture_output=True, text=True, timeout=20)
        check(result.returncode != 0 and "InvalidArgs" in result.stderr,
              "%s %s refused: %s" % (call, args, (result.stdout + result.stderr).strip()))
        check(desktop.app_alive(), "the program survives %s" % call)
    check(table_obj.name == "Artiklar för ICA Butiken", "the program still answers")


def application_bus_name(desktop):
    result = subprocess.run(
        ["dbus-send", "--bus=" + desktop.a11y_address, "--dest=org.a11y.atspi.Registry",
         "--print-reply", "/org/a11y/atspi/accessible/root",
         "org.a11y.atspi.Accessible.GetChildren"],
        env=desktop.env, capture_output=True, text=True, timeout=20)
    names = re.findall(r'string "(:[0-9.]+)"', result.stdout)
    return names[0] if names else ""


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    missing = session.missing_tools()
    # Looked for, not imported: pyatspi binds to the bus it finds at import.
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi for /usr/bin/python3 (package python3-pyatspi)")
    if missing:
        print("SKIP: not installed: " + ", ".join(missing) + "; scripts/setup installs them")
        return SKIP
    started = time.monotonic()
    try:
        run(sys.argv[1])
    except Exception:
        traceback.print_exc()
        failures.append("an error stopped the checks")
    print("%d failed, in %.1f s" % (len(failures), time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
