"""What the command-line tests share: checks that are gathered and reported at the end, reading
files back with ffprobe and ffmpeg, and conversions that are signalled once they have written
pictures (waiting for the progress line that says so, never for a time)."""
import json
import re
import subprocess
import sys

failures = []


def check(condition, message):
    """Notes a failed check; the script goes on and reports them all at the end."""
    if not condition:
        failures.append(message)


def finish(success_text):
    """Ends the script: the failed checks and exit status 1, or the success text."""
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print(success_text)


def probe(path):
    """ffprobe's streams and format of a file, or None."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path],
                         capture_output=True, text=True)
    return json.loads(out.stdout or "{}") if out.returncode == 0 else None


def duration(path):
    """The container's duration in seconds, 0 when there is none."""
    info = probe(path)
    try:
        return float(info["format"]["duration"]) if info else 0.0
    except (KeyError, ValueError):
        return 0.0


def has_video(path):
    info = probe(path)
    return info is not None and any(s["codec_type"] == "video" for s in info.get("streams", []))


def pitch(path, seconds=2.0, start=0.0):
    """The frequency of a file's tone from the zero crossings of `seconds` from `start` (mono)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-ss", str(start), "-i", path, "-t", str(seconds), "-ac", "1",
                          "-ar", "48000", "-f", "s16le", "-"], capture_output=True).stdout
    samples = [int.from_bytes(raw[i:i + 2], "little", signed=True) for i in range(0, len(raw) - 1, 2)]
    rising = sum(1 for a, b in zip(samples, samples[1:]) if a < 0 <= b)
    return rising / (len(samples) / 48000) if samples else 0


PROGRESS = re.compile(r"^\s*(\d+)%")


def start_conversion(cli, args, at_percent=3, env=None):
    """A conversion (`cli convert ARGS`, which must not be --quiet) once its progress line says it
    has converted `at_percent` of the run; its stderr so far is in the returned process's `seen`.
    A run that ends first is returned ended."""
    p = subprocess.Popen([cli, "convert", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    p.seen = []
    for line in p.stderr:
        p.seen.append(line)
        match = PROGRESS.match(line)
        if match and int(match.group(1)) >= at_percent:
            break
    return p


def last_percent(stderr_text):
    """The last progress line's percentage, or -1."""
    found = [int(m.group(1)) for m in (PROGRESS.match(line) for line in stderr_text.splitlines()) if m]
    return found[-1] if found else -1


def chapters(path):
    """The file's chapter marks as ffprobe reads them: (start, end, title) in seconds, in order."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_chapters", "-of", "json", path], capture_output=True, text=True)
    if out.returncode != 0:
        return None
    return [(float(c["start_time"]), float(c["end_time"]), c.get("tags", {}).get("title", ""))
            for c in json.loads(out.stdout or "{}").get("chapters", [])]


def mkvmerge_identify(path):
    """mkvmerge's reading of a Matroska file (`mkvmerge -J`), a second reader beside ffprobe."""
    out = subprocess.run(["mkvmerge", "-J", path], capture_output=True, text=True)
    return json.loads(out.stdout or "{}") if out.returncode in (0, 1) else None


def flashes_and_clicks(path, audio=0, rate=30000 / 1001):
    """The times of a file's white pictures (each first one of a run) and of the bursts of its sound
    stream `audio` (each first loud sample after half a second of quiet), in seconds."""
    frames = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0", "-vf", "scale=64:48,format=gray",
                             "-f", "rawvideo", "-"], capture_output=True).stdout
    flashes, bright_before = [], False
    for i in range(len(frames) // 3072):
        bright = sum(frames[i * 3072:(i + 1) * 3072]) / 3072 > 180
        if bright and not bright_before:
            flashes.append(i / rate)
        bright_before = bright
    # The sound from the file's start: a stream that begins later (copied sound keeps its place)
    # is led in with silence.
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", f"0:a:{audio}", "-af", "aresample=async=1:first_pts=0",
                          "-ac", "1", "-ar", "48000", "-f", "s16le", "-"], capture_output=True).stdout
    clicks, quiet_since = [], -10 ** 9
    for i in range(0, len(raw) - 1, 2):
        if abs(int.from_bytes(raw[i:i + 2], "little", signed=True)) > 6000:
            if i // 2 - quiet_since > 24000:
                clicks.append(i // 2 / 48000)
            quiet_since = i // 2
    return flashes, clicks
