#!/usr/bin/env python3
"""Hostile discs and hostile surroundings, as zuzidero-cli meets them: first-play commands that make
libdvdnav assert or crash, ... Every case ends with an exit status and a message of its own, never a
crash, a hang, or a loss reported as success.

Usage: hostile_discs.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, pitch, probe, start_conversion

CLI, DISCS = sys.argv[1], sys.argv[2]
HOSTILE = os.path.join(DISCS, "hostile")
CASES = json.load(open(os.path.join(DISCS, "hostile.json")))


def run(*args, env=None, timeout=300):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env, timeout=timeout)


def ended_well(r, what):
    """No crash: an exit status of the tool's own (0-3), not a signal."""
    check(0 <= r.returncode <= 3, f"{what}: exit status {r.returncode}: {r.stderr[-600:]}")


out = tempfile.mkdtemp(prefix="zuzidero-hostile-")
try:
    # First-play commands that crash libdvdnav: the walk's helper dies, the program does not; the
    # tie is broken by the rule (the first listed of the longest), and the debug log says why.
    debug = dict(os.environ, ZUZIDERO_DEBUG="1")
    for name in sorted(n for n, c in CASES.items() if c["kind"] == "first-play"):
        disc = os.path.join(HOSTILE, name)
        r = run("info", disc, "--json", env=debug)
        ended_well(r, f"info {name}")
        mains = [t["title"] for t in json.loads(r.stdout)["titles"] if t["main"]] if r.returncode == 0 else []
        check(len(mains) == 1, f"info {name}: main titles {mains}")
        if name.startswith("fp_") and name != "fp_divide":
            check(mains == [1], f"info {name}: main titles {mains}, wanted the first listed")
            check("the first play is not followed (the helper was killed by signal 6" in r.stderr,
                  f"info {name}: the debug log does not say why: {r.stderr[-800:]}")
    folder = os.path.join(out, "first_play")
    os.makedirs(folder)
    r = run("convert", os.path.join(HOSTILE, "fp_jump_title_99"), "--out", folder, "--title", "main", "--profile", "17",
            "--quiet")
    check(r.returncode == 0 and os.listdir(folder) == ["Title_01.mp3"], f"convert --title main: {r.returncode} {r.stderr}")
    check(abs(duration(os.path.join(folder, "Title_01.mp3")) - 5) < 0.5 if r.returncode == 0 else False,
          "convert --title main: the title's length")

    # A title set's IFO damaged inside its program chain or chapter table while its backup is
    # intact: the title is read from the backup, whole (20 s, 2 chapters), nothing said lost. Both
    # damaged alike: the title is lost, with the reason.
    for name in sorted(n for n, c in CASES.items() if c["kind"] == "vts-ifo"):
        disc = os.path.join(HOSTILE, name)
        r = run("info", disc, "--json", env=debug)
        titles = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
        if CASES[name]["both"]:
            check(len(titles) == 1 and not titles[0]["readable"] and
                  titles[0].get("unreadableBecause", "").startswith("its title set's IFO and BUP are damaged (VTS_01_0.IFO: "),
                  f"info {name}: {titles} {r.stderr[-300:]}")
            r = run("convert", disc, "--out", os.path.join(out, name), "--profile", "17", "--quiet")
            check(r.returncode == 2 and "title 1 cannot be read: its title set's IFO and BUP are damaged (VTS_01_0.IFO: " in r.stderr,
                  f"convert {name}: {r.returncode} {r.stderr[-300:]}")
            continue
        found = [(t["readable"], round(t["durationMs"] / 1000), t["chapters"]) for t in titles]
        check(found == [(True, 20, 2)], f"info {name}: {found}")
        check("dvd: title 1 is read from the backup of VTS_01_0.IFO" in r.stderr, f"info {name}: the backup is not said")
        folder = os.path.join(out, name)
        r = run("convert", disc, "--out", folder, "--profile", "17")
        check(r.returncode == 0 and "could not be read" not in r.stderr, f"convert {name}: {r.returncode} {r.stderr[-300:]}")
        if r.returncode == 0:
            check(abs(duration(os.path.join(folder, "Title_01.mp3")) - 20) < 0.3, f"convert {name}: not the whole title")

    # A name taken while the file is converted (another program, a second run with the same names):
    # the finished file goes beside it, the run says where, and succeeds.
    NTSC = os.path.join(DISCS, "ntsc_4x3")
    folder = os.path.join(out, "taken")
    p = start_conversion(CLI, [NTSC, "--out", folder, "--title", "1", "--profile", "5"])
    open(os.path.join(folder, "Title_01.mp4"), "w").write("another program's")
    _, rest = p.communicate(timeout=300)
    said = "".join(p.seen) + rest
    check(p.returncode == 0, f"a name taken meanwhile: exit {p.returncode}: {said[-600:]}")
    check("Title_01.mp4 appeared in the output folder while it was converted; the new file is Title_01 (2).mp4" in said,
          f"a name taken meanwhile is not said: {said[-600:]}")
    check(open(os.path.join(folder, "Title_01.mp4")).read() == "another program's", "the other file was touched")
    check(abs(duration(os.path.join(folder, "Title_01 (2).mp4")) - 8) < 0.5, "the new file beside it is not whole")

    # Names cut to their limit keep their numbers: with a 205-character name, two titles, two files,
    # also with --overwrite.
    folder = os.path.join(out, "long_names")
    long_name = "x" * 205
    r = run("convert", NTSC, "--out", folder, "--title", "1", "--title", "2", "--profile", "17", "--name", long_name,
            "--overwrite", "--quiet")
    made = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    check(r.returncode == 0 and len(made) == 2 and made[0] != made[1] and all(len(n.encode()) <= 255 for n in made),
          f"--name of 205 characters: {r.returncode} {made} {r.stderr[-300:]}")
    check([n[-7:] for n in made] == ["_01.mp3", "_02.mp3"], f"--name of 205 characters: {made}")

    # Parts left by a killed run: listed by the next run into the folder, never removed unasked;
    # --clean-parts removes them. A killed run's two-pass statistics go with the next run.
    folder = os.path.join(out, "killed")
    temporary = os.path.join(out, "tmp")
    os.makedirs(temporary)
    env = dict(os.environ, TMPDIR=temporary)
    for args in (["--profile", "5"], ["--profile", "5", "--two-pass"]):
        p = start_conversion(CLI, [NTSC, "--out", folder, "--title", "1", *args], env=env)
        p.kill()
        p.communicate()
    parts = [n for n in os.listdir(folder) if n.endswith(".part")]
    passes = [n for n in os.listdir(temporary) if n.startswith("zuzidero-passes-")]
    check(len(parts) == 1 and len(passes) == 1, f"a killed run left {parts} and {passes}")
    r = run("convert", NTSC, "--out", folder, "--title", "2", "--profile", "17", "--quiet", env=env)
    check(r.returncode == 0 and all(f"{os.path.join(folder, n)} was left by a conversion that was stopped (--clean-parts "
                                    "removes it)" in r.stderr for n in parts), f"orphaned parts not listed: {r.stderr}")
    check(all(os.path.exists(os.path.join(folder, n)) for n in parts), "an orphaned part was removed unasked")
    check(not any(n.startswith("zuzidero-passes-") for n in os.listdir(temporary)),
          f"the killed run's statistics stay: {os.listdir(temporary)}")
    r = run("convert", NTSC, "--out", folder, "--title", "3", "--profile", "17", "--quiet", "--clean-parts")
    check(r.returncode == 0 and not any(n.endswith(".part") for n in os.listdir(folder)),
          f"--clean-parts: {os.listdir(folder)} {r.stderr}")
    check(all(f"removed {os.path.join(folder, n)}" in r.stderr for n in parts), f"--clean-parts says nothing: {r.stderr}")

    # A title without sound, with one profile of each pair of encoders and container: a file of
    # pictures without a sound stream, or, in a format of sound only, silence (said once).
    SILENT = os.path.join(DISCS, "silent")
    profiles = json.loads(run("profiles", "--json").stdout)
    pairs = {}
    for p in profiles:
        pairs.setdefault((p["videoCodec"] if p["hasVideo"] else "", p["audioCodec"] if p["hasAudio"] else "", p["ext"]), p)
    for (video, sound, ext), p in sorted(pairs.items(), key=lambda item: item[1]["index"]):
        folder = os.path.join(out, f"silent-{p['index']}")
        r = run("convert", SILENT, "--out", folder, "--profile", str(p["index"]), timeout=600)
        made = os.listdir(folder) if os.path.isdir(folder) else []
        what = f"the silent title with profile {p['index']} ({video or '-'}, {sound or '-'}, {ext})"
        check(r.returncode == 0 and made == ["Title_01" + ext], f"{what}: exit {r.returncode}, {made}: {r.stderr[-400:]}")
        if r.returncode != 0 or not made:
            continue
        kinds = sorted(s["codec_type"] for s in (probe(os.path.join(folder, made[0])) or {}).get("streams", [])
                       if s["codec_type"] in ("video", "audio"))
        check(kinds == (["video"] if video else ["audio"]), f"{what}: streams {kinds}")
        check(abs(duration(os.path.join(folder, made[0])) - 4) < 0.3 or ext == ".swf", f"{what}: not 4 s long")
        said = r.stderr.count("Title 1 has no sound: Title_01" + ext + " holds silence in its place")
        check(said == (0 if video else 1), f"{what}: the silence is said {said} times")

    # Merged with titles with sound, it keeps their sound in step: 440 Hz, silence for the title
    # whose record lists a track its data lacks (said, and lost) and for the one without sound, 660 Hz.
    folder = os.path.join(out, "silent_between")
    r = run("convert", os.path.join(DISCS, "silent_between"), "--out", folder, "--merge", "--profile", "5")
    merged = os.path.join(folder, "Title_01.mp4")
    check(r.returncode == 3 and "Title_01.mp4: audio track BD80 is not in the title's data" in r.stderr
          and "Title 3 has no sound: Title_01.mp4 holds silence in its place" in r.stderr,
          f"merged titles without sound: exit {r.returncode}: {r.stderr[-600:]}")
    if os.path.exists(merged):
        heard = [round(pitch(merged, 2.0, at)) for at in (1, 5, 9, 13)]
        check(abs(heard[0] - 440) < 10 and heard[1] == 0 and heard[2] == 0 and abs(heard[3] - 660) < 10,
              f"merged titles without sound: the tones heard {heard}")
        check(abs(duration(merged) - 16) < 0.3, f"merged titles without sound: {duration(merged)} s")

    # SVT-AV1 given no picture at all (the title holds nothing readable) is closed, not waited on
    # for ever.
    r = run("convert", os.path.join(DISCS, "damaged_all_zeros"), "--out", os.path.join(out, "av1"), "--profile", "113",
            "--quiet", timeout=120)
    check(r.returncode == 2 and "holds nothing that can be read" in r.stderr, f"AV1 of a title without pictures: {r.returncode}")

    # A FIFO in place of a disc's file is refused with the reason, never waited on (a hang would
    # end in the subprocess's time limit, a failed check).
    def linked_copy(source, name):
        """A copy of a test disc whose files are hard links (their content is never changed)."""
        target = os.path.join(out, name)
        shutil.copytree(source, target, copy_function=os.link)
        return target

    for fifo in ("VTS_01_1.VOB", "VIDEO_TS.VOB", "VTS_01_0.IFO"):
        disc = linked_copy(NTSC, "fifo-" + fifo)
        if os.path.exists(os.path.join(disc, "VIDEO_TS", fifo)):
            os.remove(os.path.join(disc, "VIDEO_TS", fifo))
        os.mkfifo(os.path.join(disc, "VIDEO_TS", fifo))
        for args in (["info", disc], ["convert", disc, "--out", os.path.join(out, "fifo-out"), "--quiet"]):
            try:
                r = run(*args, timeout=60)
                check(r.returncode == 2 and f"{os.path.join(disc, 'VIDEO_TS', fifo)} is a FIFO" in r.stderr,
                      f"{args[0]} with a FIFO as {fifo}: {r.returncode} {r.stderr[-300:]}")
            except subprocess.TimeoutExpired:
                check(False, f"{args[0]} with a FIFO as {fifo} hangs")
    os.mkfifo(os.path.join(out, "clip.mpg"))
    try:
        r = run("info", os.path.join(out, "clip.mpg"), timeout=60)
        check(r.returncode == 2 and "clip.mpg is a FIFO, no disc" in r.stderr, f"info of a FIFO: {r.returncode} {r.stderr}")
    except subprocess.TimeoutExpired:
        check(False, "info of a FIFO hangs")

    # A Blu-ray folder with a folder, a link to ".." and a FIFO named like playlists, and a FIFO in
    # a clip's place: they are said, the rest of the folder is read.
    bluray = linked_copy(os.path.join(DISCS, "bluray"), "bluray-hostile")
    playlists = os.path.join(bluray, "BDMV", "PLAYLIST")
    os.mkdir(os.path.join(playlists, "00010.mpls"))
    os.symlink("..", os.path.join(playlists, "00011.mpls"))
    os.mkfifo(os.path.join(playlists, "00012.mpls"))
    os.mkdir(os.path.join(bluray, "BDMV", "CLIPINF", "00009.clpi"))
    os.mkfifo(os.path.join(bluray, "BDMV", "STREAM", "00009.m2ts"))
    try:
        r = run("info", bluray, "--json", timeout=60)
        titles = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
        check(len(titles) == 3 and titles[0]["main"], f"Blu-ray folder with hostile entries: {r.returncode} {r.stderr[-400:]}")
        for said in ("playlist 00010.mpls cannot be read: it is a folder", "playlist 00011.mpls cannot be read: it is a folder",
                     "playlist 00012.mpls cannot be read: it is a FIFO"):
            check(said in r.stderr, f"Blu-ray folder with hostile entries: not said: {said}")
        folder = os.path.join(out, "bluray-out")
        r = run("convert", bluray, "--out", folder, "--title", "main", "--profile", "17", "--quiet", timeout=300)
        check(r.returncode == 0 and os.listdir(folder) == ["Title_01.mp3"], f"Blu-ray folder with hostile entries: convert {r.returncode}")
    except subprocess.TimeoutExpired:
        check(False, "a Blu-ray folder with hostile entries hangs")

    # A Blu-ray folder whose main playlist is cut: the shorter playlist that is now the main title
    # leaves the first clip's opening second in no title. It is listed, and a run that converts the
    # main title says so (exit 3); one that converts another title only does not.
    bluray = linked_copy(os.path.join(DISCS, "bluray"), "bluray-cut-main")
    main = os.path.join(bluray, "BDMV", "PLAYLIST", "00000.mpls")
    data = open(main, "rb").read()
    os.remove(main)
    open(main, "wb").write(data[:60])
    r = run("info", bluray)
    check("clip 00001.m2ts from 0.0 s to 1.0 s is played by no title" in r.stdout, f"a cut main playlist: info {r.stdout[-500:]}")
    for args, status in ((["--title", "main"], 3), ([], 3), (["--title", "2"], 0)):
        folder = os.path.join(out, "bluray-cut-main-" + "-".join(args))
        r = run("convert", bluray, "--out", folder, "--profile", "17", "--quiet", *args)
        said = "clip 00001.m2ts: 1.0 s is in no file, at 00:00:00\u201300:00:01" in r.stderr
        check(r.returncode == status and said == (status == 3), f"a cut main playlist, {args}: exit {r.returncode}: {r.stderr[-300:]}")

    # Blu-ray graphics subtitles asked for as tracks of an MP4 file: said, as for the formats that
    # keep none.
    r = run("convert", os.path.join(DISCS, "bluray"), "--out", os.path.join(out, "pgs-mp4"), "--title", "2", "--profile", "5",
            "--subtitle-tracks", "all", "--subtitle", "none")
    check(r.returncode == 0 and "This format keeps no Blu-ray graphics subtitles as tracks: choose MKV to keep them" in r.stderr,
          f"graphics subtitles in MP4: {r.returncode} {r.stderr[-300:]}")

    # Sparse files: a 2 GB hole inside an MPEG file, and 20 GB of hole before its data. The holes
    # are passed over (reading their zeros took minutes: a hang, for the time limit), and what
    # they took away is said and listed as lost.
    vob = open(os.path.join(DISCS, "damage_source", "VIDEO_TS", "VTS_01_1.VOB"), "rb").read()  # 20 s
    holey, late = os.path.join(out, "holey.mpg"), os.path.join(out, "late.mpg")
    with open(holey, "wb") as f:
        f.write(vob[:4 << 20])
        f.seek((4 << 20) + (2 << 30))
        f.write(vob[13 << 20:])
    with open(late, "wb") as f:
        f.seek(20 << 30)
        f.write(vob)
    if os.stat(late).st_blocks * 512 < (1 << 30):  # the file system keeps holes
        try:
            r = run("info", holey, timeout=120)
            check(r.returncode == 0 and "holey.mpg has a hole of 2048 MB in its data: " in r.stdout, f"info of a file with a hole: {r.stdout}")
            folder = os.path.join(out, "holey")
            r = run("convert", holey, "--out", folder, "--profile", "17", "--quiet", timeout=300)
            lost = [line for line in r.stderr.splitlines() if line.startswith("Title_01.mp3: ") and "could not be read, at 00:00:05" in line]
            check(r.returncode == 3 and len(lost) == 1, f"convert a file with a hole: {r.returncode} {r.stderr[-400:]}")
            check(6 < duration(os.path.join(folder, "Title_01.mp3")) < 10, "convert a file with a hole: not the data around it")
            r = run("info", late, "--json", timeout=120)
            titles = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
            check(len(titles) == 1 and abs(titles[0]["durationMs"] - 20000) < 500, f"info of a file after a 20 GB hole: {r.returncode} {titles}")
            folder = os.path.join(out, "late")
            r = run("convert", late, "--out", folder, "--profile", "17", "--quiet", timeout=300)
            check(r.returncode == 3 and "Title_01.mp3: " in r.stderr, f"convert a file after a 20 GB hole: {r.returncode} {r.stderr[-300:]}")
            check(abs(duration(os.path.join(folder, "Title_01.mp3")) - 20) < 0.5, "convert a file after a 20 GB hole: not its 20 s")
        except subprocess.TimeoutExpired as expired:
            check(False, f"a sparse file hangs: {expired.cmd}")

    # Titles of two sizes (352 and 720 wide): each file takes its own title's whole picture; merged,
    # the second is framed whole into the first's size (its right edge is the pattern's last
    # bar, cyan, not the middle of the picture).
    SIZES = os.path.join(DISCS, "two_sizes")
    folder = os.path.join(out, "two-sizes")
    r = run("convert", SIZES, "--out", folder, "--profile", "108", "--quiet")
    widths = [next((st["width"] for st in (probe(os.path.join(folder, n)) or {}).get("streams", []) if st["codec_type"] == "video"), 0)
              for n in ("Title_01.mkv", "Title_02.mkv")] if r.returncode == 0 else []
    check(widths == [352, 720], f"titles of two sizes: {r.returncode} {widths}")
    folder = os.path.join(out, "two-sizes-merged")
    r = run("convert", SIZES, "--out", folder, "--profile", "108", "--merge", "--quiet")
    pixel = subprocess.run(["ffmpeg", "-v", "error", "-ss", "4.5", "-i", os.path.join(folder, "Title_01.mkv"), "-frames:v", "1",
                            "-vf", "crop=2:2:340:100", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True).stdout[:3]
    check(r.returncode == 0 and len(pixel) == 3 and pixel[0] < 80 and pixel[1] > 170 and pixel[2] > 170,
          f"merged titles of two sizes: the second's right edge is {list(pixel)}, not cyan")

    # Words that say the real cause, and JSON that is always UTF-8.
    def info_json(disc):
        r = subprocess.run([CLI, "info", disc, "--json"], capture_output=True, timeout=120)
        try:
            return r.returncode, json.loads(r.stdout.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            return r.returncode, f"not JSON: {error}"

    for name in ("lang_garbage", "bluray_version_garbage"):
        status, found = info_json(os.path.join(HOSTILE, name))
        check(status == 0 and isinstance(found, dict), f"info --json {name}: {status} {found}")
    status, found = info_json(os.path.join(HOSTILE, "bluray_version_garbage"))
    check(isinstance(found, dict) and "playlist 00003.mpls cannot be read: its version ???? is not known" in found["unreadable"],
          f"a playlist's version that is no text: {found}")
    # A disc's path that is no UTF-8 (file names are bytes).
    odd = os.path.join(out.encode(), b"disc-\xff")
    os.symlink(os.path.abspath(NTSC), odd)
    status, found = info_json(odd)
    check(status == 0 and isinstance(found, dict) and found["disc"].endswith("disc-\ufffd"), f"info --json of a path that is no UTF-8: {found}")
    status, found = info_json(os.path.join(HOSTILE, "vmg_title_set_99"))
    why = [t.get("unreadableBecause") for t in found["titles"]] if isinstance(found, dict) else found
    check(why == [None, "its title set 99 is not on the disc (no VTS_99_0.IFO or VTS_99_0.BUP)", None], f"a title in title set 99: {why}")
    # A Blu-ray clip of one byte, and one that is a link to a text file: what the clip is, not a DVD's words.
    for clip in ("one-byte", "passwd"):
        bluray = linked_copy(os.path.join(DISCS, "bluray"), "bluray-clip-" + clip)
        path = os.path.join(bluray, "BDMV", "STREAM", "00001.m2ts")
        os.remove(path)
        if clip == "one-byte":
            open(path, "wb").write(b"x")
        else:
            os.symlink("/etc/passwd", path)
        status, found = info_json(bluray)
        why = found["titles"][0].get("unreadableBecause", "") if isinstance(found, dict) else found
        check(why.startswith("its clip 00001.m2ts (") and why.endswith(") holds no MPEG transport stream that can be read"),
              f"a Blu-ray clip that is {clip}: {why}")
        r = run("convert", bluray, "--out", os.path.join(out, "clip-" + clip), "--title", "1", "--quiet")
        check(r.returncode == 2 and "title 1 cannot be read: its clip 00001.m2ts (" in r.stderr, f"convert a clip that is {clip}: {r.stderr}")
    # A file that may not be read (tried as another user: root reads everything).
    if os.getuid() == 0:
        private = os.path.join(out, "private.mpg")
        shutil.copyfile(os.path.join(DISCS, "media", "clip.mpg"), private)
        os.chmod(private, 0)
        os.chmod(out, 0o755)
        r = subprocess.run([CLI, "info", private], capture_output=True, text=True, timeout=120,
                           preexec_fn=lambda: (os.setgid(65534), os.setuid(65534)))
        check(r.returncode == 2 and "private.mpg cannot be read: Permission denied" in r.stderr, f"a file that may not be read: {r.stderr}")
    # The catalogue that cannot be loaded: the file and the cause.
    empty = os.path.join(out, "no-data")
    os.makedirs(empty)
    r = run("profiles", env=dict(os.environ, ZUZIDERO_DATA_DIR=empty))
    check(r.returncode != 0 and "Load Format.xml error: Format.xml: No such file or directory" in r.stderr, f"no catalogue: {r.stderr}")
    broken = os.path.join(out, "broken-data")
    os.makedirs(broken)
    open(os.path.join(broken, "Format.xml"), "w").write("<Profiles><Profile")
    r = run("profiles", env=dict(os.environ, ZUZIDERO_DATA_DIR=broken))
    check(r.returncode != 0 and f"Load Format.xml error: {broken}/Format.xml: not well formed (" in r.stderr, f"a broken catalogue: {r.stderr}")

    # Options that would do nothing are refused before the run, with the reason; numbers with signs
    # or blanks and an empty name are refused; --title main of a single file takes it.
    for args, said in ((["--profile", "107", "--crop", "0,0,100,100"], "profile 107 copies the video as it is; --crop needs a profile that encodes"),
                       (["--profile", "107", "--crop", "auto"], "--crop needs a profile that encodes"),
                       (["--profile", "107", "--subtitle", "BD20"], "--subtitle needs a profile that encodes"),
                       (["--profile", "107", "--rate", "25"], "--rate needs"), (["--profile", "107", "--deinterlace", "on"], "--deinterlace on needs"),
                       (["--profile", "107", "--brightness", "100"], "--brightness needs"), (["--profile", "107", "--two-pass"], "--two-pass needs"),
                       (["--profile", "107", "--quality", "20"], "--quality needs"), (["--profile", "107", "--bit-depth", "10"], "--bit-depth needs"),
                       (["--profile", "107", "--speed", "fast"], "--speed needs"),
                       (["--profile", "107", "--volume", "300"], "profile 107 copies the sound as it is; --volume needs a profile that encodes it"),
                       (["--profile", "5", "--audio-copy", "--volume", "300"], "--audio-copy keeps the sound as it is"),
                       (["--title", "+2"], "bad title number: +2"), (["--title", " 2"], "bad title number:  2"),
                       (["--chapter", "+1"], "--chapter needs"), (["--hue", "+20"], "--hue needs"), (["--name", ""], "--name needs a pattern")):
        folder = os.path.join(out, "refused")
        r = run("convert", NTSC, "--out", folder, "--quiet", *args)
        check(r.returncode == 2 and said in r.stderr and not os.path.exists(folder), f"{args}: exit {r.returncode}: {r.stderr[:200]}")
    r = run("--help")
    check("--rate source|23.976" in r.stdout, "--rate is not in --help")
    folder = os.path.join(out, "main-of-a-file")
    r = run("convert", os.path.join(DISCS, "media", "clip.mpg"), "--out", folder, "--title", "main", "--profile", "17", "--quiet")
    check(r.returncode == 0 and os.listdir(folder) == ["Title_01.mp3"], f"--title main of a single file: {r.returncode} {r.stderr}")

    # A soft-telecined film copied as it is, whose B pictures carry no time stamp: each picture at
    # the time its fields give it (2 or 3 fields), as ffmpeg's reader of the disc's VOB places it.
    SOFT = os.path.join(DISCS, "soft_telecine_b")
    folder = os.path.join(out, "soft-copy")
    r = run("convert", SOFT, "--out", folder, "--profile", "107", "--quiet")
    def times(path, entries, stream="v"):
        found = subprocess.run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries, "-of", "csv=p=0", path],
                               capture_output=True, text=True).stdout.split()
        values = sorted(float(t.split(",")[0]) for t in found if t.split(",")[0] not in ("", "N/A"))
        return [v - values[0] for v in values] if values else []
    copied = times(os.path.join(folder, "Title_01.mkv"), "packet=pts_time") if r.returncode == 0 else []
    source = times(os.path.join(SOFT, "VIDEO_TS", "VTS_01_1.VOB"), "frame=pts_time")
    off = max((abs(a - b) for a, b in zip(copied, source)), default=1)
    check(r.returncode == 0 and len(copied) >= len(source) - 2 and off < 0.002,
          f"a soft-telecined copy's picture times: {len(copied)} of {len(source)} pictures, off by up to {off * 1000:.1f} ms")

    # LPCM at 96 kHz and 24 bits kept as it is: its very samples, at their rate and depth, in
    # Matroska (as plain PCM) and in an MPEG program stream (as LPCM), not 48 kHz at 16 bits.
    LPCM = os.path.join(DISCS, "lpcm_96k")
    def samples(path):
        return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s32le", "-c:a", "pcm_s32le", "-"],
                              capture_output=True).stdout
    source = samples(os.path.join(LPCM, "VIDEO_TS", "VTS_01_1.VOB"))
    for args, name, codec in ((["--profile", "107"], "Title_01.mkv", "pcm_s24le"),
                              (["--profile", "9", "--audio-copy"], "Title_01.mpg", "pcm_dvd")):
        folder = os.path.join(out, "lpcm-" + codec)
        r = run("convert", LPCM, "--out", folder, "--quiet", *args)
        sound = [st for st in (probe(os.path.join(folder, name)) or {}).get("streams", []) if st["codec_type"] == "audio"]
        found = [(st["codec_name"], st["sample_rate"], st.get("bits_per_raw_sample")) for st in sound]
        check(r.returncode == 0 and found == [(codec, "96000", "24")], f"LPCM 96 kHz 24 bits kept in {name}: {r.returncode} {found}")
        kept = samples(os.path.join(folder, name)) if r.returncode == 0 else b""
        check(len(kept) > 0 and len(kept) == len(source) and kept == source, f"LPCM 96 kHz 24 bits in {name}: not the same samples")

    # A closed standard error (`2>&1 | head -c 20`) does not stop the conversion.
    folder = os.path.join(out, "pipe")
    p = subprocess.Popen([CLI, "convert", NTSC, "--out", folder, "--title", "1", "--profile", "5"], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT)
    p.stdout.read(20)
    p.stdout.close()
    status = p.wait(timeout=300)
    made = os.listdir(folder) if os.path.isdir(folder) else []
    check(status == 0 and made == ["Title_01.mp4"], f"a closed standard error: exit {status}, {made}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("hostile discs: no crash, no hang, no loss said as success")
