"""The source folders' floors: a file includes only from its own folder or a
floor below it, and no chain of includes comes back to where it started.

Floors, bottom up: platform; crypto, net, content and client (side by side,
none includes another); server; host_api.
Usage: layering_test.py SOURCE_DIR
"""
import os
import re
import sys

FLOORS = {"platform": 0, "crypto": 1, "net": 1, "content": 1, "client": 1, "server": 2, "host_api": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def sources(root):
    for folder, _, names in os.walk(root):
        for name in names:
            if name.endswith((".h", ".cpp")):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, root).replace(os.sep, "/"), path


def main():
    root = sys.argv[1]
    graph, faults = {}, []
    for name, path in sources(root):
        with open(path, encoding="utf-8") as f:
            included = [i for i in INCLUDE.findall(f.read()) if os.path.exists(os.path.join(root, i))]
        graph[name] = included
        own = name.split("/")[0]
        for target in included:
            other = target.split("/")[0]
            if other == own or own not in FLOORS or other not in FLOORS:
                continue
            if FLOORS[other] >= FLOORS[own]:
                faults.append(f"{name} includes {target}: {other} is not below {own}")
    state = {}

    def visit(node, chain):
        state[node] = "open"
        for target in graph.get(node, []):
            if state.get(target) == "open":
                faults.append("include cycle: " + " -> ".join(chain[chain.index(target):] + [target]))
            elif target not in state:
                visit(target, chain + [target])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    for fault in faults:
        print(fault)
    print(f"{len(graph)} files, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
