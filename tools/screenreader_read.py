#!/usr/bin/python3
# Reads the running program through the desktop's accessibility bus (AT-SPI),
# as a screen reader does, and works it through the same bus as a user of
# one would: makes a category in the editor, chooses it, imports the contacts
# of a CSV file, opens the editor on the first contact and the print dialog
# of the list. Writes the role and name of every node it meets (with the
# label a field is tied to, its description, its text and whether it has the
# focus); a table is given by its size, headers and first rows. Run it
# through tools/screenreader-read, which starts the bus and the program.
#
#   screenreader_read.py CONTACTS.csv OUTPUT.txt
import sys
import time

import pyatspi

TITLE = "Zarvo Cheque Printing System"
out = open(sys.argv[2], "w")


def write(line=""):
    out.write(line + "\n")
    out.flush()


def program():
    for _ in range(300):
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name and "quillet" in a.name.lower():
                return a
        time.sleep(0.1)
    sys.exit("the program is not on the accessibility bus")


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def windows():
    return [w for w in program() if w is not None and showing(w)]


def find(node, test, depth=0):
    """The first node under `node` that passes `test`, tables left unopened."""
    if test(node):
        return node
    if depth > 12 or node.getRoleName() in ("table", "tree table"):
        return None
    for child in node:
        if child is not None:
            hit = find(child, test, depth + 1)
            if hit is not None:
                return hit
    return None


def named(node, name, role):
    hit = find(node, lambda n: n.name == name and n.getRoleName() == role and showing(n))
    if hit is None:
        sys.exit(f"no {role} {name!r}")
    return hit


def window_with(name, role, other_than=None, timeout=15):
    """The shown window that holds a control of that name and role."""
    end = time.time() + timeout
    while time.time() < end:
        for w in windows():
            if w != other_than and find(w, lambda n: n.name == name and n.getRoleName() == role) is not None:
                return w
        time.sleep(0.1)
    sys.exit(f"no window with {role} {name!r}; windows: {[w.name for w in windows()]}")


def press(node):
    node.queryAction().doAction(0)
    time.sleep(0.5)


def click(node):
    """Clicks in the middle of the control until it has the focus. With no
    window manager the keys go to the window under the mouse pointer: the
    click puts it there."""
    for _ in range(20):
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, "abs")
        pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, "b1c")
        time.sleep(0.3)
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return
    sys.exit(f"cannot bring the focus to {line_of(node)}")


def key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    time.sleep(0.3)


def labels_of(node):
    return [r.getTarget(i).name for r in node.getRelationSet()
            if r.getRelationType() == pyatspi.RELATION_LABELLED_BY for i in range(r.getNTargets())]


def line_of(node):
    state = node.getState()
    notes = []
    if labels_of(node):
        notes.append("labelled by " + "/".join(repr(label) for label in labels_of(node)))
    if node.description:
        notes.append("description " + repr(node.description))
    if node.getRoleName() in ("text", "password text", "spin button"):
        try:
            text = node.queryText().getText(0, -1)
            if text:
                notes.append("text " + repr(text[:40]))
        except NotImplementedError:
            pass
    if state.contains(pyatspi.STATE_FOCUSED):
        notes.append("focused")
    elif state.contains(pyatspi.STATE_FOCUSABLE):
        notes.append("focusable")
    return f"[{node.getRoleName()}] {node.name!r}" + (f"  ({', '.join(notes)})" if notes else "")


def dump(node, depth=0, rows=5):
    if depth > 0 and not showing(node):
        return
    indent = "  " * depth
    write(indent + line_of(node))
    if node.getRoleName() in ("table", "tree table"):
        try:
            table = node.queryTable()
        except NotImplementedError:
            write(indent + "  (no table interface)")
            return
        write(indent + f"  {table.nRows} rows, {table.nColumns} columns")
        headers = [table.getColumnHeader(c) for c in range(table.nColumns)]
        write(indent + "  headers: " + " | ".join(h.name if h else "" for h in headers))
        for r in range(min(rows, table.nRows)):
            cells = [table.getAccessibleAt(r, c) for c in range(table.nColumns)]
            write(indent + f"  row {r}: " + " | ".join(c.name if c else "" for c in cells))
        return
    for child in node:
        if child is not None:
            dump(child, depth + 1, rows)


def focused_in(window):
    return find(window, lambda n: n.getState().contains(pyatspi.STATE_FOCUSED) and n != window)


def tab_round(window):
    """What the reader says at each Tab, once round the window."""
    heard = []
    for _ in range(80):
        node = focused_in(window)
        if node is None or (heard and line_of(node) == heard[0]):
            break
        heard.append(line_of(node))
        key(0xFF09)  # Tab
    return heard


main = window_with("Insert F2", "push button")
time.sleep(1)
write("=== main window, new database")
dump(main)
write("\n=== main window, Tab once round")
click(named(main, "ID", "text"))
write("\n".join(tab_round(main)))

# a category for the contacts, made in the editor
press(named(main, "Insert F2", "push button"))
editor = window_with("Add new category", "push button")
press(named(editor, "Add new category", "push button"))
box = window_with("Okay F10", "push button")
write("\n=== input box of the editor's 'Add new category'")
dump(box)
named(box, "Enter the category", "text").queryEditableText().setTextContents("Customers")
press(named(box, "Okay F10", "push button"))
press(named(editor, "Cancel F12", "push button"))

# the category chosen in the search panel, then the contacts imported into it
category = find(main, lambda n: n.getRoleName() == "combo box" and "Category" in labels_of(n))
category.queryComponent().grabFocus()
key(0xFF54)  # Down
press(named(main, "Import", "push button"))
time.sleep(1)
files = [w for w in windows() if w != main][-1]
field = find(files, lambda n: n.getRoleName() == "text" and n.getState().contains(pyatspi.STATE_EDITABLE))
field.queryEditableText().setTextContents(sys.argv[1])
press(named(files, "Open", "push button"))
message = window_with("Okay", "push button", other_than=main, timeout=60)
write("\n=== message after the import")
dump(message)
press(named(message, "Okay", "push button"))

write("\n=== main window, after the import")
dump(main)

press(named(main, "Update F4", "push button"))
editor = window_with("Add new category", "push button")
write("\n=== editor on the first contact")
dump(editor)
write("\n=== editor, Tab once round")
click(named(editor, "Name", "text"))
write("\n".join(tab_round(editor)))
press(named(editor, "Cancel F12", "push button"))

press(named(main, "Print", "push button"))
dialog = window_with("Next page", "push button", timeout=60)
write("\n=== print dialog of the list")
dump(dialog)
preview = find(dialog, lambda n: n.name == "Print preview")
for button in ("Next page", "Last page"):
    press(named(dialog, button, "push button"))
    write(f"after {button}: the preview reads {preview.description!r}")
press(named(dialog, "Close", "push button"))
out.close()
