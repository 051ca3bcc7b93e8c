#!/usr/bin/python3
"""Each program's man page, as `man -l` shows it, holds every option and argument its --help
(and each subcommand's --help) names, and each command's exit codes under that command.
Usage: manual_test.py PROGRAM PAGE [PROGRAM PAGE ...]   (PAGE: NAME.1 or NAME.1.gz)"""
import os, re, subprocess, sys

def run(*args):
    r = subprocess.run(list(args), capture_output=True, text=True, timeout=60,
                       env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="200"))
    if r.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(args), r.returncode, r.stderr))
    return r.stdout

def blocks(help_text):
    """The help's blocks: {"Options": [lines], "Exit status": [lines], ...}."""
    found, title = {}, None
    for line in help_text.splitlines():
        m = re.match(r"^([A-Z][A-Za-z ]*):\s*$", line)
        if m:
            title = m.group(1)
            found[title] = []
        elif title and line.startswith("  "):
            found[title].append(line)
    return found

def terms(lines):
    """Option names (-o, --output) and argument names of a block, one term a line."""
    out = []
    for line in lines:
        if not re.match(r"^  \S", line):
            continue  # a description wrapped onto its own line
        head = line[2:].split("  ")[0]
        names = re.findall(r"(?<![\w-])--?[A-Za-z][\w-]*", head.split(" Excludes:")[0])
        out += names or [head.split()[0]]
    return out

def codes(lines):
    return [m.group(1) for m in (re.match(r"^  (\d+)\s", l) for l in lines) if m]

failures = []
args = sys.argv[1:]
for program, page in zip(args[0::2], args[1::2]):
    name = os.path.basename(program)
    shown = run("man", "-l", "-P", "cat", page)
    top = run(program, "--help")
    helps = {"": top}
    for sub in terms(blocks(top).get("Subcommands", [])):
        helps[sub] = run(program, sub, "--help")
    checked = 0
    for sub, text in helps.items():
        # The part of the man page about this command: from its heading to the next one.
        part = shown
        if sub:
            start = shown.find("%s %s " % (name, sub), shown.find("\nCOMMANDS"))
            nxt = [shown.find("\n   %s %s " % (name, other), start + 1) for other in helps if other and other != sub]
            nxt = [n for n in nxt if n > start]
            part = shown[start:min(nxt) if nxt else len(shown)] if start >= 0 else ""
            if not part:
                failures.append("%s: no section for %s in %s" % (name, sub, page))
                continue
        b = blocks(text)
        for term in terms(b.get("Options", []) + b.get("Positionals", [])):
            checked += 1
            if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(term), part):
                failures.append("%s %s: %s is in --help but not in the man page" % (name, sub or "-", term))
        for code in codes(b.get("Exit status", [])):
            checked += 1
            if not re.search(r"(?m)^\s+%s\s" % code, part):
                failures.append("%s %s: exit code %s is in --help but not in the man page" % (name, sub or "-", code))
    print("%s: %d options, arguments and exit codes of %d --help texts found in %s" % (name, checked, len(helps), page))
for f in failures:
    print(f, file=sys.stderr)
sys.exit(1 if failures else 0)
