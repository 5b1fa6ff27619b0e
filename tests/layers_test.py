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
LAYERS = ["com", "pipeline", "graph", "ffmpeg", "dvd", "demux", "decode", "render", "text", "profiles", "write", "convert", "play",
          "workspace", "cli", "app"]
INCLUDE = re.compile(r'\s*#\s*include\s+"(\w+)/')
INCLUDE_PATH = re.compile(r'\s*#\s*include\s+"((\w+)/[\w.]+)"')
# The engine headers the desktop program may include beside the workspace's and play's.
APP_FACES = {
    "profiles/profile_record.h", "profiles/profile_catalogue.h", "profiles/format_table.h",  # the profiles and their tables
    "write/settings_check.h", "write/encoder_options.h",  # the one settings check, and the encoders' choices Settings offers
    "convert/time_text.h", "convert/file_marks.h", "dvd/iso639.h",  # texts: times, file marks, language names
    "convert/text_files.h",  # texts: what reading subtitles into text came to
    "convert/video_conversion_filter.h",  # the deinterlacing modes the preferences name
    "dvd/disc_ejector.h",  # a drive's tray
    "pipeline/event_codes.h",  # the graph's event codes the previews handle
    "com/debug_log.h",  # the debug log
}
RENDERER_BASES = {"pipeline", "graph", "com"}


APP_FILE_LINES = 800
WINDOW_METHODS = 40


def member_functions(header, name):
    """The member functions (signals and slots too) a class declares in its header."""
    with open(header, encoding="utf-8") as source:
        text = re.sub(r"//[^\n]*", "", source.read())
    start = text.index("class " + name)
    body_start = text.index("{", start) + 1
    depth, at, declarations, current = 1, body_start, [], ""
    while depth > 0:
        c = text[at]
        if c == "{":
            depth += 1
            if depth == 2:
                declarations.append(current)  # an inline body follows its declaration
                current = ""
        elif c == "}":
            depth -= 1
            if depth == 1:
                current = ""
        elif depth == 1:
            if c == ";":
                declarations.append(current)
                current = ""
            else:
                current += c
        at += 1
    count = 0
    for declaration in declarations:
        declaration = re.sub(r"\b(public|protected|private|signals|public slots|private slots)\s*:", "", declaration).strip()
        while re.search(r"<[^<>]*>", declaration):  # template arguments, which may hold a function type
            declaration = re.sub(r"<[^<>]*>", "", declaration)
        if re.search(r"[~\w]\s*\(", declaration.split("=")[0]) and not declaration.startswith(("struct", "enum", "using", "friend", "Q_OBJECT")):
            count += 1
    return count


def window_sizes(src, root):
    """The desktop program stays readable: no file over APP_FILE_LINES lines, and the main
    window, a view of the workspace, with at most WINDOW_METHODS member functions."""
    wrong = []
    app = os.path.join(src, "app")
    for name in sorted(os.listdir(app)):
        with open(os.path.join(app, name), encoding="utf-8", errors="replace") as source:
            lines = sum(1 for _ in source)
        if lines > APP_FILE_LINES:
            wrong.append(f"src/app/{name}: {lines} lines (at most {APP_FILE_LINES})")
    methods = member_functions(os.path.join(app, "zuzidero_dlg.h"), "CZuZideroDlg")
    if methods > WINDOW_METHODS:
        wrong.append(f"src/app/zuzidero_dlg.h: CZuZideroDlg has {methods} member functions (at most {WINDOW_METHODS})")
    return wrong


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
    # The desktop program talks to the engine through the workspace and play rooms, and beside
    # them only through the faces named here (value types, tables and texts it shows); the video
    # renderer, a filter of the graph, derives from the pipeline's bases.
    for directory, _, files in os.walk(os.path.join(src, "app")):
        for name in files:
            path = os.path.join(directory, name)
            renderer = name.startswith("video_renderer.")
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE_PATH.match(line)
                    if not match:
                        continue
                    header, folder = match.group(1), match.group(2)
                    if folder not in LAYERS or folder in ("app", "workspace", "play"):
                        continue
                    if header in APP_FACES or (renderer and folder in RENDERER_BASES):
                        continue
                    wrong.append(f"{os.path.relpath(path, sys.argv[1])}:{number}: app includes {header}, "
                                 "neither the workspace's, play's nor a face")
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
    wrong += window_sizes(src, sys.argv[1])
    print("\n".join(wrong) if wrong else f"{len(LAYERS)} layers, no include upwards, the window sees the engine's top")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
