#!/usr/bin/python3
"""Looks at the running program the way a screen reader does, over AT-SPI, and prints JSON.

  atspi_probe.py wait-bus          waits until the session bus offers the accessibility bus
  atspi_probe.py take APP COUNT [NAME COMMAND...]
                                   waits for APP's window, reads its tree, presses the first
                                   push button of the client area (take a picture) through the
                                   action interface until the first list has COUNT more items
                                   and COUNT notifications have shown, and reads the tree
                                   again, listening to the events meanwhile; with NAME, then
                                   runs COMMAND (keys to the window), waits until the object
                                   named NAME is told as focused and reads the tree once more

Everything runs on the session bus that DBUS_SESSION_BUS_ADDRESS names.
"""

import json
import subprocess
import sys
import time


def wait_bus(limit=10.0):
    from gi.repository import Gio, GLib

    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
            bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                          None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 1000, None)
            return 0
        except GLib.Error:
            time.sleep(0.05)
    print("the accessibility bus did not come", file=sys.stderr)
    return 1


def describe(obj, depth=0, max_children=64):
    import pyatspi

    node = {
        "role": obj.getRoleName(),
        "name": obj.name,
        "description": obj.description,
        "states": sorted(pyatspi.stateToString(s) for s in obj.getState().getStates()),
        "actions": [],
        "children": [],
    }
    try:
        action = obj.queryAction()
        node["actions"] = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        pass
    if depth < 8:
        for i in range(min(obj.childCount, max_children)):
            child = obj.getChildAtIndex(i)
            if child is not None:
                node["children"].append(describe(child, depth + 1, max_children))
    return node


def find(obj, role, depth=0):
    if obj.getRoleName() == role:
        return obj
    if depth > 8:
        return None
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        found = find(child, role, depth + 1) if child is not None else None
        if found is not None:
            return found
    return None


def run_until(registry, condition, limit):
    """Runs the event loop until condition() holds or the limit passes."""
    from gi.repository import GLib

    deadline = time.monotonic() + limit
    result = {"held": False}

    def check():
        if condition():
            result["held"] = True
            registry.stop()
            return False
        if time.monotonic() > deadline:
            registry.stop()
            return False
        return True

    GLib.timeout_add(50, check)
    registry.start()
    return result["held"]


def take(app_name, count, focus_name=None, command=None):
    import pyatspi

    registry = pyatspi.Registry
    desktop = registry.getDesktop(0)

    def app():
        for candidate in desktop:
            if candidate is not None and candidate.name == app_name:
                return candidate
        return None

    def ready():
        found = app()
        return found is not None and find(found, "push button") is not None

    events = []

    def on_event(event):
        try:
            events.append({"type": event.type, "role": event.source.getRoleName(),
                           "name": event.source.name, "detail": event.detail1})
        except Exception:  # the source may have gone already: kept, to tell what came
            events.append({"type": event.type, "role": None, "name": None,
                           "detail": event.detail1})

    kinds = ("object:state-changed:showing", "object:property-change:accessible-name",
             "object:children-changed", "object:state-changed:focused")
    registry.registerEventListener(on_event, *kinds)
    if not run_until(registry, ready, 20.0):
        print(json.dumps({"error": "the program's window did not appear over AT-SPI"}))
        return 1
    # The program asks the registry which events are listened to as it starts, and hears of
    # new listeners only from then on: a listener registered in between is never heard of.
    # Registered again now that the window is there, the program surely knows of them.
    registry.registerEventListener(lambda event: None, *kinds)
    before = describe(app())
    button = find(app(), "push button")
    strip = find(app(), "list")
    start = strip.childCount
    presses = 0
    # The first press may come before the camera's first frame, which takes nothing: pressed
    # again until the picture is there.
    for wanted in range(start + 1, start + count + 1):
        for _ in range(20):
            presses += 1
            button.queryAction().doAction(0)
            if run_until(registry, lambda: strip.childCount >= wanted, 1.5):
                break
    # The announcements travel apart from the list's items: until one has shown per picture.
    def announced():
        return sum(1 for e in events if e["type"] == "object:state-changed:showing"
                   and e["role"] == "notification" and e["detail"] == 1) >= count
    run_until(registry, announced, 5.0)
    after = describe(app())
    result = {"before": before, "after": after, "events": events, "presses": presses}
    if focus_name is not None:
        subprocess.run(command, check=False, timeout=20)

        def focused():
            return any(e["type"] == "object:state-changed:focused" and e["detail"] == 1
                       and e["name"] == focus_name for e in events)
        result["focused"] = run_until(registry, focused, 10.0)
        result["keyed"] = describe(app())
    print(json.dumps(result, ensure_ascii=False))
    return 0


def main(argv):
    if len(argv) >= 2 and argv[1] == "wait-bus":
        return wait_bus()
    if len(argv) == 4 and argv[1] == "take":
        return take(argv[2], int(argv[3]))
    if len(argv) >= 6 and argv[1] == "take":
        return take(argv[2], int(argv[3]), argv[4], argv[5:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
