#!/usr/bin/python3
"""Every relative link and picture in README.md and docs/*.md leads to a file that is there,
and every #anchor to a heading of the page it names (as the project's web host makes them).
Usage: doc_links_test.py SOURCE-DIR"""
import glob, os, re, sys

# Linked before they are written: none now.
PENDING = set()

def prose(path):
    """The page without its code blocks and code spans, where nothing is a link."""
    text = open(path, encoding="utf-8").read()
    return re.sub(r"`[^`\n]*`", "", re.sub(r"(?ms)^ *```.*?^ *```", "", text))

def anchors(path):
    heads = re.findall(r"(?m)^#{1,6} +(.+?) *$", re.sub(r"(?ms)^ *```.*?^ *```", "", open(path, encoding="utf-8").read()))
    return {re.sub(r"[^\w\- ]", "", h.lower()).replace(" ", "-") for h in heads}

root = sys.argv[1]
pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
failures, checked = [], 0
for page in pages:
    for target in re.findall(r"\]\(([^)\s]+)\)", prose(page)):
        if re.match(r"^[a-z][a-z0-9+.-]*:", target):
            continue  # a web address or mail, not checked here
        checked += 1
        path, _, anchor = target.partition("#")
        full = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        name = os.path.relpath(full, root)
        if not os.path.exists(full):
            if name not in PENDING:
                failures.append("%s: %s: no such file" % (os.path.relpath(page, root), target))
        elif anchor and full.endswith(".md") and anchor not in anchors(full):
            failures.append("%s: %s: no such heading in %s" % (os.path.relpath(page, root), target, name))
for f in failures:
    print(f, file=sys.stderr)
print("%d links and pictures of %d pages checked, %d dead" % (checked, len(pages), len(failures)))
sys.exit(1 if failures else 0)
