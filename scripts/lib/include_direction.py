"""Checks that the folders under src/ include each other only downwards:

    module -> device -> {link, sms, host, journal} -> os, with diag (the trace)
    and at (the vocabulary of modem answers) leaves that every folder may
    include.

A folder may include any folder below it, never one beside or above it. The
exceptions are records, plain data: the host's record layouts
(host/records.h), which the link needs for the port settings the host hands
in, and a received message (sms/received.h, with the fields of sms/tpdu.h it
holds), which the journal writes.

    include_direction.py [--graph] [--xml FILE]

--graph prints the include graph by folder ("from -> to  count") and the
checks; --xml writes one GoogleTest-style test case per folder for the test
summary. The exit status is 1 when an include goes against the direction.
"""
import collections
import os
import re
import sys
from xml.sax.saxutils import escape, quoteattr

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SRC = os.path.join(ROOT, "src")

# What each folder may include besides itself.
ALLOWED = {
    "module": {"device", "link", "sms", "host", "journal", "diag", "at", "os"},
    "device": {"link", "sms", "host", "journal", "diag", "at", "os"},
    "journal": {"diag", "at", "os"},
    "link": {"diag", "at", "os"},
    "sms": {"diag", "at", "os"},
    "host": {"diag", "at", "os"},
    "diag": {"at", "os"},
    "at": set(),
    "os": set(),
}
ALLOWED_FILES = {("link", "host/records.h"), ("journal", "sms/received.h")}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def includes():
    """(from folder, included path, file, line number) for every quoted include."""
    for folder, _, files in sorted(os.walk(SRC)):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            source = os.path.relpath(path, SRC).split(os.sep)[0]
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if match:
                        yield source, match.group(1), os.path.relpath(path, ROOT), number


def main(args):
    edges = collections.Counter()
    wrong = collections.defaultdict(list)  # folder -> ["file:line includes x"]
    folders = set(ALLOWED)
    for source, included, path, number in includes():
        folders.add(source)
        target = included.split("/")[0] if "/" in included else source
        if target == source:
            continue
        edges[(source, target)] += 1
        if target in ALLOWED.get(source, set()) or (source, included) in ALLOWED_FILES:
            continue
        wrong[source].append("%s:%d includes %s" % (path, number, included))

    if "--graph" in args:
        for (source, target), count in sorted(edges.items()):
            print("%-7s -> %-7s %3d" % (source, target, count))
        print()
    for source in sorted(folders):
        for problem in wrong[source]:
            print("against the include direction: " + problem)

    if "--xml" in args:
        out = args[args.index("--xml") + 1]
        with open(out, "w", encoding="utf-8") as f:
            failures = sum(1 for s in folders if wrong[s])
            f.write('<testsuites tests="%d" failures="%d" errors="0">\n' % (len(folders), failures))
            f.write('<testsuite name="IncludeDirection" tests="%d" failures="%d">\n'
                    % (len(folders), failures))
            for source in sorted(folders):
                f.write('<testcase classname="IncludeDirection" name=%s>' % quoteattr(source))
                if wrong[source]:
                    f.write('<failure message=%s>%s</failure>'
                            % (quoteattr("includes against the direction"),
                               escape("\n".join(wrong[source]))))
                f.write("</testcase>\n")
            f.write("</testsuite>\n</testsuites>\n")
    return 1 if any(wrong.values()) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
