"""Adds up the GoogleTest-style XML of the test suites.

Arguments: triples of suite name, XML path, exit status. Prints one line per
suite, the failed test names, and last "N passed, M failed". Exit status 1
when anything failed.
"""
import os
import sys
import xml.etree.ElementTree as ET


def count_cases(root):
    """(passed, failed, skipped, failed names) from <testcase> elements."""
    passed = failed = skipped = 0
    names = []
    for case in root.iter("testcase"):
        name = "%s.%s" % (case.get("classname", "?"), case.get("name", "?"))
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            names.append(name)
        elif (case.get("status") == "notrun" or case.get("result") in ("skipped", "suppressed")
              or case.find("skipped") is not None):
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, names


def count_root(root):
    """Fallback for XML without <testcase> elements: the root's attributes."""
    def number(key):
        try:
            return int(root.get(key, "0"))
        except ValueError:
            return 0
    failed = number("failures") + number("errors")
    skipped = number("disabled") + number("skipped")
    return max(number("tests") - failed - skipped, 0), failed, skipped, []


def main(args):
    total_passed = total_failed = 0
    for i in range(0, len(args) - 2, 3):
        name, path, status = args[i], args[i + 1], args[i + 2]
        problem = None
        passed = failed = skipped = 0
        names = []
        if not status.lstrip("-").isdigit():
            problem = status
        elif not os.path.isfile(path):
            problem = "no results written (exit %s)" % status
        else:
            try:
                root = ET.parse(path).getroot()
            except ET.ParseError as error:
                problem = "unreadable results: %s" % error
            else:
                if root.find(".//testcase") is not None:
                    passed, failed, skipped, names = count_cases(root)
                else:
                    passed, failed, skipped, names = count_root(root)
                if status != "0" and failed == 0:
                    problem = "exit %s with no failed test recorded" % status
        if problem:
            failed += 1
            names.append("%s (%s)" % (name, problem))
        total_passed += passed
        total_failed += failed
        line = "%-36s %4d passed, %d failed" % (name, passed, failed)
        if skipped:
            line += ", %d skipped" % skipped
        print(line)
        for failed_name in names:
            print("    FAILED: %s" % failed_name)
    print("%d passed, %d failed" % (total_passed, total_failed))
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
