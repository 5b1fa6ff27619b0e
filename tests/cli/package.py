"""The Debian package that `cpack -G DEB` makes of a build: the files it holds, the dependencies
dpkg-shlibdeps found in the binaries (and Qt's platform plugins), stripped programs, and no
error from lintian.

Usage: package.py BUILD_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from cli_support import check, finish  # noqa: E402

build = sys.argv[1]
out = tempfile.mkdtemp(prefix="zuzidero-package-")
try:
    made = subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=build, capture_output=True, text=True)
    check(made.returncode == 0, "cpack failed: " + made.stdout[-3000:] + made.stderr[-3000:])
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    check(len(debs) == 1, f"cpack made {debs}")
    if debs:
        deb = os.path.join(out, debs[0])
        listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True).stdout
        files = {line.split()[-1].lstrip(".") for line in listing.splitlines() if line}
        for path in ("/usr/bin/zuzidero", "/usr/bin/zuzidero-cli", "/usr/libexec/zuzidero/zuzidero-first-play",
                     "/usr/share/zuzidero/Format.xml",
                     "/usr/share/zuzidero/Format-added.xml", "/usr/share/zuzidero/skin/zuzidero.png",
                     "/usr/share/applications/org.zuzidero.ZuZidero.desktop",
                     "/usr/share/metainfo/org.zuzidero.ZuZidero.metainfo.xml",
                     "/usr/share/icons/hicolor/48x48/apps/org.zuzidero.ZuZidero.png",
                     "/usr/share/man/man1/zuzidero.1.gz", "/usr/share/man/man1/zuzidero-cli.1.gz",
                     "/usr/share/bash-completion/completions/zuzidero-cli",
                     "/usr/share/doc/zuzidero/copyright", "/usr/share/doc/zuzidero/changelog.Debian.gz"):
            check(path in files, "not in the package: " + path)
        check(not any("/include/" in f or f.endswith(".a") for f in files), "the package holds build files")
        for line in listing.splitlines():
            check(" root/root " in line, "not owned by root: " + line)

        info = subprocess.run(["dpkg-deb", "-I", deb], capture_output=True, text=True).stdout
        depends = re.search(r"^ Depends: (.*)$", info, re.M)
        check(bool(depends), "the package has no Depends")
        if depends:
            names = {d.strip().split()[0] for d in depends.group(1).split(",")}
            # Found in the binaries: the libraries the programs link.
            for lib in ("libavcodec59", "libdvdread8", "libqt6widgets6", "libsdl2-2.0-0", "libc6"):
                check(lib in names, f"Depends lacks {lib}: {depends.group(1)}")
            check("qt6-qpa-plugins" in names, "Depends lacks qt6-qpa-plugins")
        version = re.search(r"^ Version: (.*)$", info, re.M)
        check(bool(version) and version.group(1).endswith("-1"), "the package's version: " + (version.group(1) if version else "none"))

        # Stripped: no debugging sections left in the programs.
        unpacked = os.path.join(out, "root")
        subprocess.run(["dpkg-deb", "-x", deb, unpacked], check=True)
        for program in ("zuzidero", "zuzidero-cli"):
            sections = subprocess.run(["readelf", "-S", os.path.join(unpacked, "usr/bin", program)],
                                      capture_output=True, text=True).stdout
            check(".debug_info" not in sections and ".symtab" not in sections, program + " is not stripped")

        lint = subprocess.run(["lintian", "--no-tag-display-limit", deb], capture_output=True, text=True)
        errors = [line for line in lint.stdout.splitlines() if line.startswith("E:")]
        check(not errors, "lintian: " + "\n".join(errors))
        print(lint.stdout)
finally:
    shutil.rmtree(out, ignore_errors=True)
finish("the package holds the programs and their data, depends on what they link, and lintian finds no error")
