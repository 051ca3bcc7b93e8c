#!/usr/bin/python3
"""docs/architecture.md's table of layers says what the build says: each folder's
library uses exactly the Kelvarin libraries its CMakeLists.txt links it to.
Usage: architecture_test.py SOURCE-DIR"""
import glob, os, re, sys

root = sys.argv[1]
built = {}
for path in glob.glob(os.path.join(root, "*", "CMakeLists.txt")):
    text = open(path, encoding="utf-8").read()
    for name, args in re.findall(r"target_link_libraries\((kelvarin_\w+)([^)]*)\)", text):
        if name.startswith("kelvarin_test"):
            continue
        built.setdefault(name, set()).update(re.findall(r"\bkelvarin_\w+", args))

page = open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8").read()
said = {}
for library, uses in re.findall(r"(?m)^\| `\w+/` \| `(kelvarin_\w+)` \|([^|\n]*)\|$", page):
    said[library] = set(re.findall(r"kelvarin_\w+", uses))

failures = []
for library in sorted(set(built) | set(said)):
    if built.get(library, set()) != said.get(library):
        failures.append("%s: the build uses %s, the page says %s" % (
            library, sorted(built.get(library, set())), sorted(said.get(library, set())) if library in said else "nothing"))
for f in failures:
    print(f, file=sys.stderr)
print("%d libraries checked, %d differ" % (len(said), len(failures)))
sys.exit(1 if failures else 0)
