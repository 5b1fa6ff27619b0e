#!/usr/bin/env python3
"""The source folders form layers, bottom to top: no folder includes a header of a folder above it,
and the desktop program reaches the engine through its top rooms only (no render, decode, demux or
ffmpeg header in src/app).

Usage: layers_test.py SOURCE_ROOT
"""
import os
import re
import sys

# Bottom to top, as the README's Layout lists them.
LAYERS = ["com", "pipeline", "graph", "ffmpeg", "dvd", "demux", "decode", "render", "profiles", "write", "convert", "play",
          "workspace", "cli", "app"]
APP_KEEPS_OUT = {"render", "decode", "demux", "ffmpeg"}
INCLUDE = re.compile(r'\s*#\s*include\s+"(\w+)/')


def main():
    src = os.path.join(sys.argv[1], "src")
    folders = sorted(f for f in os.listdir(src) if os.path.isdir(os.path.join(src, f)))
    unknown = [f for f in folders if f not in LAYERS]
    if unknown:
        print("folders not placed in a layer:", ", ".join(unknown))
        return 1
    wrong = []
    for level, folder in enumerate(LAYERS):
        for directory, _, files in os.walk(os.path.join(src, folder)):
            for name in files:
                path = os.path.join(directory, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match and match.group(1) in LAYERS and LAYERS.index(match.group(1)) > level:
                            wrong.append(f"{os.path.relpath(path, sys.argv[1])}:{number}: {folder} includes {match.group(1)}")
    # The desktop program talks to the engine through convert, play and the layers they expose.
    for directory, _, files in os.walk(os.path.join(src, "app")):
        for name in files:
            path = os.path.join(directory, name)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match and match.group(1) in APP_KEEPS_OUT:
                        wrong.append(f"{os.path.relpath(path, sys.argv[1])}:{number}: app includes {match.group(1)}")
    # Process-wide state is set once, by the engine's registration: nothing else changes the
    # environment or FFmpeg's log level (other threads read them).
    registration = os.path.join("src", "play", "engine_registration.cpp")
    for directory, _, files in os.walk(src):
        for name in files:
            path = os.path.join(directory, name)
            if os.path.relpath(path, sys.argv[1]) == registration:
                continue
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    if re.search(r"\b(setenv|putenv|unsetenv|av_log_set_level|av_log_set_callback)\s*\(", line):
                        wrong.append(f"{os.path.relpath(path, sys.argv[1])}:{number}: process-wide state set outside {registration}")
    print("\n".join(wrong) if wrong else f"{len(LAYERS)} layers, no include upwards, the window sees the engine's top")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
