#!/usr/bin/env python3
"""Fails when the folders under src/ include each other in a cycle, or when
src/ includes a layer that sits above it. The first argument may name another
folder laid out the same way (tools/native_host_register, whose files
directly in it count one node each, header and source together).

Each folder directly under src/ is one layer; a quoted #include of
"<folder>/..." from a file in another folder is an edge between the two.
The folders must form a directed acyclic graph, so that every layer can be
understood, built and tested with only the layers below it. Further
arguments name folders above src/ (tools/support, included as
"support/..."): they may include src/ but nothing in src/ may include them.
`--bottom NAME` names a folder of src/ that sits below all the others
(src/base, which is not OS code and so sits below even the platform layer):
it includes none of them.
Prints the layers in build order on success, a cycle or the offending files
on failure.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.MULTILINE)
BARE_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)"', re.MULTILINE)
SOURCES = (".h", ".hpp", ".cpp", ".cc")


def node_of(src: pathlib.Path, path: pathlib.Path):
    """A folder directly under `src`, or a file directly in it by its stem
    (its header and its source are one node)."""
    first = path.relative_to(src).parts[0]
    return first if (src / first).is_dir() else pathlib.Path(first).stem


def folder_edges(src: pathlib.Path):
    edges = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCES or not path.is_file():
            continue
        folder = node_of(src, path)
        edges.setdefault(folder, {})
        text = path.read_text(encoding="utf-8", errors="replace")
        targets = [target for target in INCLUDE.findall(text) if (src / target).is_dir()]
        # A bare name that is not beside the including file names a file
        # directly in `src` (found through the include folder).
        targets += [pathlib.Path(name).stem for name in BARE_INCLUDE.findall(text)
                    if not (path.parent / name).exists() and (src / name).is_file()]
        for target in targets:
            if target != folder:
                edges[folder].setdefault(target, []).append(str(path.relative_to(src)))
    return edges


def find_cycle(edges):
    state = {}  # folder -> "open" while on the path, "done" once finished
    order = []

    def visit(node, path):
        state[node] = "open"
        for target in sorted(edges.get(node, {})):
            if state.get(target) == "open":
                return path[path.index(target):] + [target] if target in path else [node, target]
            if target not in state:
                cycle = visit(target, path + [target])
                if cycle:
                    return cycle
        state[node] = "done"
        order.append(node)
        return None

    for node in sorted(edges):
        if node not in state:
            cycle = visit(node, [node])
            if cycle:
                return cycle, order
    return None, order


def includes_of(folder: pathlib.Path, names):
    """Files under `folder` that include "<name>/..." for one of `names`."""
    found = []
    for path in sorted(folder.rglob("*")):
        if path.suffix not in (".h", ".hpp", ".cpp", ".cc") or not path.is_file():
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        found += [(path, target) for target in INCLUDE.findall(text) if target in names]
    return found


def main():
    args = sys.argv[1:]
    bottom = []
    while "--bottom" in args:
        at = args.index("--bottom")
        bottom.append(args[at + 1])
        del args[at:at + 2]
    src = pathlib.Path(args[0] if args else "src")
    above = [pathlib.Path(arg) for arg in args[1:]]
    edges = folder_edges(src)
    cycle, order = find_cycle(edges)
    if cycle:
        print("include cycle between the folders of %s: " % src + " -> ".join(cycle))
        for a, b in zip(cycle, cycle[1:]):
            print(f"  {a} -> {b}: " + ", ".join(edges[a][b]))
        return 1
    for name in bottom:
        if name not in edges:
            print(f"{src} has no folder {name}")
            return 1
        if edges[name]:
            print(f"{name} must sit below every other folder of {src}, but includes:")
            for target, files in sorted(edges[name].items()):
                print(f"  {name} -> {target}: " + ", ".join(files))
            return 1
    upward = includes_of(src, {folder.name for folder in above})
    if upward:
        print("src/ includes a layer above it:")
        for path, target in upward:
            print(f"  {path.relative_to(src)} -> {target}")
        return 1
    print("layers, lowest first: " + " ".join(order + [folder.name for folder in above]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
