#!/usr/bin/env python3
"""zuzidero-cli's output files through signals, kills, failures and bad paths: a file appears under its
final name only when it is finished (a cancelled one goes beside it as "NAME (partial).EXT"), an old
file is replaced only by a whole one, parts are files of their own that nothing else writes into,
failures say why and stop the run at once, and no path aborts the program.

Usage: output_files.py ZUZIDERO_CLI DISCS_FOLDER
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, has_video, last_percent, start_conversion

CLI, DISCS = sys.argv[1], sys.argv[2]
SOURCE = os.path.join(DISCS, "damage_source")  # one title of 20 s


def convert(*args, timeout=600):
    return subprocess.run([CLI, "convert", *args], capture_output=True, text=True, timeout=timeout)


def started(args):
    """A conversion of SOURCE, once it has converted some pictures."""
    return start_conversion(CLI, [SOURCE, *args])


def parts_left(folder):
    return [n for n in os.listdir(folder) if n.endswith(".part")] if os.path.isdir(folder) else []


def scrambled_copy(folder, from_fraction):
    """A copy of SOURCE whose PES headers are scrambled from `from_fraction` of its VOB on."""
    shutil.copytree(SOURCE, folder)
    vob = os.path.join(folder, "VIDEO_TS", "VTS_01_1.VOB")
    data = bytearray(open(vob, "rb").read())
    at = int(len(data) * from_fraction)
    while True:
        at = data.find(b"\x00\x00\x01", at)
        if at < 0:
            break
        if data[at + 3] in (0xBD, 0xE0, 0xC0) and data[at + 6] & 0xC0 == 0x80:
            data[at + 6] |= 0x30
        at += 4
    open(vob, "wb").write(data)


OLD = b"an old file that must survive"
work = tempfile.mkdtemp(prefix="zuzidero-files-")
try:
    # SIGTERM and SIGHUP cancel as Ctrl-C does: a playable file beside the final name (which means
    # a whole file only), the end message names it, nothing left over.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        out = os.path.join(work, f"signal-{sig}")
        p = started(["--out", out])
        p.send_signal(sig)
        try:
            _, err = p.communicate(timeout=60)
            check(p.returncode == 1, f"{sig.name}: exit {p.returncode}: {err}")
            check(f"written: {out}/Title_01 (partial).mp4" in err, f"{sig.name}: the kept part is not named: {err[-300:]!r}")
        except subprocess.TimeoutExpired:
            p.kill()
            check(False, f"{sig.name}: the run did not stop")
        check(has_video(os.path.join(out, "Title_01 (partial).mp4")), f"{sig.name}: no playable partial file")
        check(not os.path.exists(os.path.join(out, "Title_01.mp4")), f"{sig.name}: a cancelled file took the final name")
        check(parts_left(out) == [], f"{sig.name}: parts are left: {parts_left(out)}")

    # Cancelled with --overwrite: the old file stays, the part goes beside it; a second cancel
    # beside that.
    out = os.path.join(work, "cancel-beside")
    os.makedirs(out)
    open(os.path.join(out, "Title_01.mp4"), "wb").write(OLD)
    for name in ("Title_01 (partial).mp4", "Title_01 (partial 2).mp4"):
        p = started(["--out", out, "--overwrite"])
        p.send_signal(signal.SIGINT)
        p.communicate(timeout=60)
        check(has_video(os.path.join(out, name)), f"cancel: no {name} beside the old one")
    check(open(os.path.join(out, "Title_01.mp4"), "rb").read() == OLD, "cancel: the old file was replaced")

    # A part's name and the names tried after it, made beforehand as links to a file outside the
    # output folder, are not written through.
    out = os.path.join(work, "part-links")
    os.makedirs(out)
    victim = os.path.join(work, "victim.mp4")
    open(victim, "wb").write(OLD)
    os.symlink(victim, os.path.join(out, "Title_01.mp4.part"))
    r = convert(SOURCE, "--out", out, "--quiet")
    check(r.returncode == 0 and has_video(os.path.join(out, "Title_01.mp4")), f"part link: exit {r.returncode}: {r.stderr!r}")
    check(open(victim, "rb").read() == OLD, "part link: the file outside the output folder was written")

    # Two runs on one output at once: each writes its own part; each ends with a whole file (the
    # second to finish beside the first's, said) or, when the name was taken before it began, a
    # clear refusal; never a mixed file, and no work thrown away.
    out = os.path.join(work, "two-runs")
    runs = [subprocess.Popen([CLI, "convert", SOURCE, "--out", out, "--quiet"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True) for _ in range(2)]
    ends = [(p.wait(timeout=600), p.stderr.read()) for p in runs]
    for code, err in ends:
        check(code == 0 or (code == 2 and "exists" in err), f"two runs: exit {code}: {err!r}")
    written = sum(1 for code, _ in ends if code == 0)
    wanted = ["Title_01 (2).mp4", "Title_01.mp4"][2 - written:] if written else []
    check(sorted(os.listdir(out)) == wanted, f"two runs: left {os.listdir(out)}, {written} written")
    for name in wanted:
        check(abs(duration(os.path.join(out, name)) - 20.0) < 0.3, f"two runs: {name} is not whole")
    if written == 2:
        check(any("appeared in the output folder while it was converted; the new file is Title_01 (2).mp4" in err
                  for _, err in ends), f"two runs: the second does not say where its file went: {ends}")

    # Killed: the old file stays as it was, and nothing else is under its name.
    out = os.path.join(work, "killed")
    os.makedirs(out)
    open(os.path.join(out, "Title_01.mp4"), "wb").write(OLD)
    p = started(["--out", out, "--overwrite"])
    p.kill()
    p.communicate(timeout=60)
    check(open(os.path.join(out, "Title_01.mp4"), "rb").read() == OLD, "killed: the old file was touched")

    # A run that fails in the middle (the title is scrambled from its middle on) keeps the old
    # file, leaves nothing new, and says the title is encrypted.
    disc = os.path.join(work, "scrambled-half")
    scrambled_copy(disc, 0.5)
    out = os.path.join(work, "failing")
    os.makedirs(out)
    open(os.path.join(out, "Title_01.mp4"), "wb").write(OLD)
    r = convert(disc, "--out", out, "--quiet", "--overwrite")
    check(r.returncode == 1, f"failing run: exit {r.returncode}: {r.stderr}")
    check("Title 1 is encrypted; libdvdcss is needed to read it" in r.stderr, f"failing run: {r.stderr!r}")
    check(open(os.path.join(out, "Title_01.mp4"), "rb").read() == OLD, "failing run: the old file was replaced")
    check(os.listdir(out) == ["Title_01.mp4"], f"failing run: left {os.listdir(out)}")

    # Scrambled throughout: encrypted from the first packet, and no file at all.
    disc = os.path.join(work, "scrambled-all")
    scrambled_copy(disc, 0.0)
    out = os.path.join(work, "encrypted")
    r = convert(disc, "--out", out, "--quiet")
    check(r.returncode == 1 and "Title 1 is encrypted; libdvdcss is needed to read it" in r.stderr,
          f"encrypted: exit {r.returncode}: {r.stderr!r}")
    check(not os.path.exists(out) or os.listdir(out) == [], f"encrypted: left {os.listdir(out)}")

    # The output folder vanishes during the run: a failure, not "written".
    out = os.path.join(work, "vanishing")
    p = started(["--out", out])
    shutil.rmtree(out, ignore_errors=True)
    _, err = p.communicate(timeout=600)
    check(p.returncode == 1 and "written:" not in err and "Could not write output file" in err,
          f"vanishing folder: exit {p.returncode}: {err[-300:]!r}")

    # A full file system (where a small one can be mounted here): why, at once, and no file.
    full = os.path.join(work, "full")
    os.makedirs(full)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", full], capture_output=True).returncode == 0:
        try:
            r = convert(SOURCE, "--out", full)
            check(r.returncode == 1 and "No space left on device" in r.stderr, f"full: exit {r.returncode}: {r.stderr!r}")
            before = r.stderr.split("Could not write output file")[0]
            check(0 <= last_percent(before) < 50, f"full: the run went on after the disk was full: {r.stderr[-300:]!r}")
            check(os.listdir(full) == [], f"full: left {os.listdir(full)}")
        finally:
            subprocess.run(["umount", full])
    else:
        print("(no tmpfs can be mounted here: the full file system is not tried)")

    # Paths that the file system refuses are messages, never an abort.
    loop = os.path.join(work, "loop")
    os.symlink("loop", loop)
    long_path = os.path.join(work, "x" * 5000)
    for args, what in [(("info", loop), "disc in a link loop"), (("info", long_path), "disc path too long"),
                       (("convert", SOURCE, "--out", os.path.join(loop, "x")), "output in a link loop"),
                       (("convert", SOURCE, "--out", long_path), "output path too long")]:
        r = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120)
        check(r.returncode == 2 and "terminate" not in r.stderr, f"{what}: exit {r.returncode}: {r.stderr[:200]!r}")
    out = os.path.join(work, "self-link")
    os.makedirs(out)
    os.symlink("Title_01.mp4", os.path.join(out, "Title_01.mp4"))
    r = convert(SOURCE, "--out", out, "--quiet")
    check(r.returncode == 2 and "exists" in r.stderr, f"self link: exit {r.returncode}: {r.stderr!r}")
    r = convert(SOURCE, "--out", out, "--quiet", "--overwrite")
    check(r.returncode == 0 and has_video(os.path.join(out, "Title_01.mp4")), f"self link replaced: exit {r.returncode}")
    if os.geteuid() != 0:  # the superuser reads every folder
        locked = os.path.join(work, "locked")
        os.makedirs(os.path.join(locked, "inner"))
        os.chmod(locked, 0)
        r = subprocess.run([CLI, "info", os.path.join(locked, "inner")], capture_output=True, text=True, timeout=60)
        os.chmod(locked, 0o755)
        check(r.returncode == 2 and "terminate" not in r.stderr, f"unreadable parent: exit {r.returncode}")

    # --name: the files are named by the pattern (the disc's folder name, the title's number); a
    # pattern with an unknown field or a "/" is refused before anything is converted.
    out = os.path.join(work, "named")
    r = convert(SOURCE, "--out", out, "--quiet", "--profile", "17", "--length", "00:00:02", "--name", "{disc} - T{title}")
    check(r.returncode == 0 and os.listdir(out) == ["damage_source - T01.mp3"], f"--name: {r.returncode} {os.listdir(out)} {r.stderr[-200:]}")
    for bad, said in (("{name}", "is not a name field"), ("a/{title}", "cannot hold")):
        r = convert(SOURCE, "--out", os.path.join(work, "bad-name"), "--quiet", "--name", bad)
        check(r.returncode == 2 and said in r.stderr and not os.path.exists(os.path.join(work, "bad-name")),
              f"--name {bad}: {r.returncode} {r.stderr[:200]}")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish("output files appear whole or not at all")
