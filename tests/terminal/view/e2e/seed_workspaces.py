"""Writes a saved state of <count> workspaces of <per> terminal panes each, every pane in a folder of
its own under <projects>, and prints each workspace's rail colour, one a line, in order.

Usage: seed_workspaces.py <state file> <projects folder> <count> <per> [<colour step>]
The step spreads the colours apart: 1 suits twenty workspaces, larger steps fewer."""
import json, os, sys

state, projects, count, per = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
step = int(sys.argv[5]) if len(sys.argv) > 5 else 1
colours = ["%02x%02x%02x" % (40 + (9 + 10 * (step - 1)) * i, 200 - (7 + 10 * (step - 1)) * i,
                             90 + (5 + 8 * (step - 1)) * i) for i in range(count)]


def uid(n):
    return "5E1F0A00-0000-4000-8000-%012d" % n


spaces = []
for w in range(count):
    sessions = []
    for p in range(per):
        folder = "w%02dp%d" % (w + 1, p + 1)
        os.makedirs(os.path.join(projects, folder), exist_ok=True)
        sessions.append({"id": uid(1000 * (w + 1) + p + 1), "kind": "terminal", "project": folder,
                         "directory": os.path.join(projects, folder), "sessionLabel": "", "autoApprove": False,
                         "muted": False})
    spaces.append({"id": uid(w + 1), "name": "W%d" % (w + 1), "colorHex": colours[w], "maxRows": 2,
                   "bigSideLeft": False, "sessions": sessions})
json.dump({"recents": [], "selected": uid(1), "workspaces": spaces}, open(state, "w"))
print("\n".join(colours))
