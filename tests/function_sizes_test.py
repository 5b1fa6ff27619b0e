#!/usr/bin/env python3
"""No function in src/ is longer than 80 lines, as clang-tidy's readability-function-size counts
them (with whitespace and comments), except those the allow-list names, each with its reason.
An allowed function that has come under the limit must leave the list.

Usage: function_sizes_test.py SOURCE_ROOT BUILD_DIR
"""
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys

LIMIT = 80
WARNING = re.compile(r"^(.*?):(\d+):\d+: warning: function '([^']+)' exceeds")
LINES = re.compile(r"note: (\d+) lines including")


def tidy():
    for name in ("clang-tidy", "clang-tidy-14", "clang-tidy-15", "clang-tidy-16"):
        if shutil.which(name):
            return name
    return None


def allowed(root):
    """(file, function) -> reason, from tests/function_sizes.allow."""
    entries = {}
    with open(os.path.join(root, "tests", "function_sizes.allow"), encoding="utf-8") as listing:
        for line in listing:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            file, function, reason = line.split(None, 2)
            entries[(file, function)] = reason
    return entries


def long_functions(program, build, root, source):
    config = "{CheckOptions: [{key: readability-function-size.LineThreshold, value: %d}]}" % LIMIT
    run = subprocess.run([program, "-p", build, "--quiet", "--checks=-*,readability-function-size", "--config=" + config, source],
                         capture_output=True, text=True)
    found, last = [], None
    for line in run.stdout.splitlines():
        warning = WARNING.match(line)
        if warning:
            last = [os.path.relpath(warning.group(1), root), warning.group(3), 0]
            found.append(last)
        lines = LINES.search(line)
        if lines and last:
            last[2] = int(lines.group(1))
    return found


def main():
    root, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    program = tidy()
    if not program:
        print("clang-tidy is not installed (scripts/install-deps.sh installs it)")
        return 1
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as commands:
        sources = sorted({entry["file"] for entry in json.load(commands)
                          if os.path.relpath(entry["file"], root).startswith("src" + os.sep)})
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        found = [f for result in pool.map(lambda s: long_functions(program, build, root, s), sources) for f in result]
    allow = allowed(root)
    wrong = [f"{file}: {function} is {lines} lines (at most {LIMIT})" for file, function, lines in found
             if (file, function) not in allow]
    seen = {(file, function) for file, function, _ in found}
    wrong += [f"{file}: {function} is within {LIMIT} lines now; take it off tests/function_sizes.allow"
              for file, function in allow if (file, function) not in seen]
    print("\n".join(wrong) if wrong else f"{len(sources)} files, every function within {LIMIT} lines but {len(allow)} allowed")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
