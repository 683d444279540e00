#!/usr/bin/env python3
"""Checks every project #include against the direction the libraries depend in.

    python3 scripts/check-includes.py [ROOT]
    python3 scripts/check-includes.py --self-test

The layers, lowest first: wire; the headless toolkit (data, cipher) and domain; the widget toolkit
(sheet, grid, report, chart); the host services (host/pub); the page framework; the subsystem folders of
pages. Beside them the client's link to a server (link/) and the server: storage and grammar, its
core, the method modules, seed data, the HTTP server, the score query page and the tools. A library may include itself and what it is allowed to depend on,
directly or through others; the host application is the composition root and may include
anything, and so may tests, benchmarks and fuzz targets. Subsystem folders do not include each
other. Prints each upward include as FILE:LINE: INCLUDE (LAYER may not include TARGET) and exits 1
when there is one.
"""

import pathlib
import re
import sys

# Each layer and the layers it may include directly.
ALLOWED = {
    "wire": [],
    "toolkit/data": ["wire"],
    "toolkit/cipher": [],
    "domain": ["toolkit/data"],
    "toolkit/sheet": ["toolkit/data"],
    "toolkit/grid": ["toolkit/data", "toolkit/sheet"],
    "toolkit/report": ["toolkit/data", "toolkit/grid"],
    "toolkit/chart": [],
    "link": ["wire"],
    "host/pub": ["wire", "toolkit/cipher", "toolkit/data"],
    "framework": ["host/pub", "toolkit/report", "toolkit/grid", "toolkit/sheet", "toolkit/cipher", "domain"],
    "server/storage": ["toolkit/data"],
    "server/grammar": ["wire"],
    "server/core": ["server/storage", "server/grammar", "toolkit/cipher", "domain"],
    "server/methods": ["server/core"],
    "server/seed": ["server/core"],
    "server/http": ["link"],
    "server/query": ["server/core", "server/http", "domain"],
    "server/cli": ["link"],
    "server/app": ["server/methods", "server/seed", "server/http", "server/query"],
}
# The subsystems of pages: each on the framework, none on another.
SUBSYSTEMS = ["students", "exams", "scores", "organisation", "schoolyear", "analysis", "pvalue"]
for s in SUBSYSTEMS:
    ALLOWED[s] = ["framework"]
# The score page keeps an exam's roster with the register's roster dialog (TPubDefineStudent), and
# opens the analyses' chart window (TfrmChart) and teaching-class choice (TfrmAchieveDivClass).
ALLOWED["scores"] = ["framework", "students", "analysis"]
# The teachers' page sets passwords with the register's password dialog (TfrmSetPass).
ALLOWED["organisation"] = ["framework", "students"]
# The analyses draw their charts with the chart toolkit.
ALLOWED["analysis"] = ["framework", "toolkit/chart"]
# Free to include anything of the project.
ROOTS = ["host/app", "tests", "bench", "fuzz"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    """The layer a project path (file or include) belongs to: the longest matching folder."""
    best = None
    for name in list(ALLOWED) + ROOTS:
        if path == name or path.startswith(name + "/"):
            if best is None or len(name) > len(best):
                best = name
    return best


def reachable(layer):
    seen, todo = {layer}, [layer]
    while todo:
        for below in ALLOWED.get(todo.pop(), []):
            if below not in seen:
                seen.add(below)
                todo.append(below)
    return seen


def check(root):
    problems = []
    for file in sorted(root.rglob("*")):
        if file.suffix not in (".h", ".hpp", ".cpp", ".cc") or not file.is_file():
            continue
        rel = file.relative_to(root).as_posix()
        if rel.startswith(("build", ".git")):
            continue
        layer = layer_of(rel)
        if layer is None or layer in ROOTS:
            continue
        allowed = reachable(layer)
        for number, line in enumerate(file.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = layer_of(m.group(1))
            # Generated export headers and anything outside the project's folders are not layers.
            if target is None or target in allowed:
                continue
            problems.append(f"{rel}:{number}: {m.group(1)} ({layer} may not include {target})")
    return problems


def self_test():
    """The check itself: a tree with one include of each kind gives exactly the upward ones."""
    import tempfile
    files = {
        "framework/ok.cpp": '#include "toolkit/data/dataset.h"\n#include "wire/envelope.h"\n#include "framework/achieve_export.h"\n',
        "framework/up.cpp": '#include "server/core/service.h"\n',
        "students/sideways.cpp": '#include "exams/ufrmexam.h"\n',
        "wire/up.h": '#include "toolkit/data/dataset.h"\n',
        "server/core/widgets.cpp": '#include "toolkit/grid/bandedgrid.h"\n',
        "host/app/root.cpp": '#include "server/core/service.h"\n#include "students/ufrmstudentpage.h"\n',
        "tests/anything.cpp": '#include "server/core/service.h"\n',
    }
    with tempfile.TemporaryDirectory() as d:
        root = pathlib.Path(d)
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        found = sorted(p.split(":")[0] for p in check(root))
    expected = ["framework/up.cpp", "server/core/widgets.cpp", "students/sideways.cpp", "wire/up.h"]
    if found != expected:
        print(f"self-test: found {found}, expected {expected}")
        return 1
    print("self-test: the check finds the upward and sideways includes")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    problems = check(root)
    for p in problems:
        print(p)
    print(f"{len(problems)} upward includes" if problems else "includes follow the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
