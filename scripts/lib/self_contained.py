"""Checks that the project needs nothing outside its own checkout: no tracked
file names the folder that lies beside the checkout on the developers'
machines (its recorded modem answers live in tests/data/captures).

    self_contained.py [--xml FILE]

The exit status is 1 when a file names it; each such line is printed.
"""
import os
import subprocess
import sys
from xml.sax.saxutils import escape, quoteattr

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
# Spelled in two pieces so that this file does not name it itself.
OUTSIDE = ".." + "/shared"


def tracked_files():
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-z"], capture_output=True, check=False)
    if listed.returncode == 0:
        return [f for f in listed.stdout.decode("utf-8", "replace").split("\0") if f]
    # Not a git checkout (an unpacked archive): every file below the root.
    found = []
    for folder, dirs, files in os.walk(ROOT):
        dirs[:] = [d for d in dirs if d not in (".git", "build")]
        found += [os.path.relpath(os.path.join(folder, f), ROOT) for f in files]
    return found


def main(args):
    problems = []
    for name in tracked_files():
        path = os.path.join(ROOT, name)
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    if OUTSIDE in line:
                        problems.append("%s:%d: %s" % (name, number, line.strip()))
        except (IsADirectoryError, FileNotFoundError):
            continue
    for p in problems:
        print("names a folder outside the checkout: " + p)
    if "--xml" in args:
        with open(args[args.index("--xml") + 1], "w", encoding="utf-8") as f:
            f.write('<testsuites tests="1" failures="%d" errors="0">\n' % bool(problems))
            f.write('<testsuite name="SelfContained" tests="1" failures="%d">\n' % bool(problems))
            f.write('<testcase classname="SelfContained" name="NoPathOutsideTheCheckout">')
            if problems:
                f.write('<failure message=%s>%s</failure>'
                        % (quoteattr("files name a folder outside the checkout"),
                           escape("\n".join(problems))))
            f.write("</testcase>\n</testsuite>\n</testsuites>\n")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
