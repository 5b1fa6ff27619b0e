"""ZuZidero installed as a Linux program: `cmake --install` into a staging folder (DESTDIR) with the
/usr prefix, the usual layout, the validators' word on the desktop entry and the AppStream file,
and the installed zuzidero-cli listing and converting a test disc with the data installed beside
it (not the build tree's).

Usage: install.py BUILD_DIR CLI DISCS"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from cli_support import check, finish, has_video, duration  # noqa: E402

build, cli, discs = sys.argv[1], sys.argv[2], sys.argv[3]
stage = tempfile.mkdtemp(prefix="zuzidero-install-")
try:
    env = dict(os.environ, DESTDIR=stage)
    env.pop("ZUZIDERO_DATA_DIR", None)
    done = subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], env=env, capture_output=True, text=True)
    check(done.returncode == 0, "cmake --install failed: " + done.stderr[-2000:])
    usr = os.path.join(stage, "usr")
    app_id = "org.zuzidero.ZuZidero"
    expected = [
        "bin/zuzidero", "bin/zuzidero-cli", "libexec/zuzidero/zuzidero-first-play",
        "share/zuzidero/Format.xml", "share/zuzidero/Format-added.xml", "share/zuzidero/Set.xml",
        "share/zuzidero/help.html", "share/zuzidero/skin/zuzidero.png", "share/zuzidero/skin/play.png",
        f"share/applications/{app_id}.desktop", f"share/metainfo/{app_id}.metainfo.xml",
        "share/man/man1/zuzidero.1.gz", "share/man/man1/zuzidero-cli.1.gz",
        "share/bash-completion/completions/zuzidero-cli", "share/doc/zuzidero/copyright",
        "share/doc/zuzidero/changelog.Debian.gz",
    ] + [f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png" for n in (16, 22, 24, 32, 48, 64, 128, 256, 512)]
    for path in expected:
        check(os.path.isfile(os.path.join(usr, path)), "not installed: /usr/" + path)
    check(not os.path.exists(os.path.join(usr, "share/zuzidero/skin/icons")), "the desktop's icons went into the skin")
    # The icons are drawn at their sizes.
    for n in (16, 256):
        icon = os.path.join(usr, f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png")
        if os.path.isfile(icon):
            size = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0",
                                   icon], capture_output=True, text=True).stdout.strip()
            check(size == f"{n},{n}", f"the {n}-px icon is {size}")

    # The validators Debian's software centre and menus use.
    desktop = os.path.join(usr, f"share/applications/{app_id}.desktop")
    if os.path.isfile(desktop):
        out = subprocess.run(["desktop-file-validate", desktop], capture_output=True, text=True)
        check(out.returncode == 0 and not out.stdout.strip(), "desktop-file-validate: " + out.stdout + out.stderr)
        text = open(desktop, encoding="utf-8").read()
        for mime in ("x-content/video-dvd", "x-content/video-bluray", "application/x-cd-image", "video/mpeg",
                     "video/mp2t", "video/x-mpeg"):
            check(mime in text, "the desktop entry does not open " + mime)
        check("Exec=zuzidero %f" in text, "the desktop entry does not pass the file")
    metainfo = os.path.join(usr, f"share/metainfo/{app_id}.metainfo.xml")
    version = ""
    if os.path.isfile(metainfo):
        out = subprocess.run(["appstreamcli", "validate", "--no-net", metainfo], capture_output=True, text=True)
        check(out.returncode == 0, "appstreamcli validate: " + out.stdout + out.stderr)
        found = re.search(r'<release version="([^"]+)"', open(metainfo, encoding="utf-8").read())
        version = found.group(1) if found else ""
        check(bool(found), "the AppStream file names no release")

    # The installed tool: its version is the release's, and it works from its installed data.
    installed = os.path.join(usr, "bin/zuzidero-cli")
    if os.path.isfile(installed):
        out = subprocess.run([installed, "--version"], env=env, capture_output=True, text=True)
        check(out.returncode == 0 and out.stdout.strip() == "zuzidero-cli " + version,
              f"--version says {out.stdout.strip()!r}, the AppStream release {version!r}")
        disc = os.path.join(discs, "ntsc_4x3")
        out = subprocess.run([installed, "info", disc], env=env, capture_output=True, text=True)
        check(out.returncode == 0 and "Title_01" in out.stdout, "installed info failed: " + out.stdout + out.stderr)
        # Its helper too: the first play of two titles of one length leads to the second.
        out = subprocess.run([installed, "info", os.path.join(discs, "tied_titles"), "--json"],
                             env=dict(env, ZUZIDERO_DEBUG="1"), capture_output=True, text=True)
        mains = [t["title"] for t in json.loads(out.stdout)["titles"] if t["main"]] if out.returncode == 0 else []
        check(mains == [2] and "the first-play walk gives no answer" not in out.stderr,
              f"the installed tool's first-play helper: main {mains}: {out.stderr[-500:]}")
        target = os.path.join(stage, "out")
        os.makedirs(target)
        out = subprocess.run([installed, "convert", disc, "--title", "1", "--profile", "109", "--length", "00:00:02",
                              "--out", target, "--quiet"], env=env, capture_output=True, text=True)
        files = os.listdir(target)
        check(out.returncode == 0 and len(files) == 1, f"installed convert failed ({out.returncode}): {out.stderr}")
        for name in files:
            path = os.path.join(target, name)
            check(has_video(path) and 1.5 < duration(path) < 2.5, f"{name} is not a 2-s video")
        # The data it used is the installed copy: without it the catalogue is gone.
        catalogue = os.path.join(usr, "share/zuzidero/Format.xml")
        shutil.move(catalogue, catalogue + ".away")
        out = subprocess.run([installed, "profiles"], env=env, capture_output=True, text=True)
        check(out.returncode != 0 and "Load Format.xml error" in out.stderr,
              "the installed tool found a catalogue other than its own")
        shutil.move(catalogue + ".away", catalogue)
finally:
    shutil.rmtree(stage, ignore_errors=True)
finish("installed: layout, validators, and the installed tool converts")
