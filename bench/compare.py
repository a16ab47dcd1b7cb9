"""Times mp3cut against mp3splt, ffmpeg and a plain byte copy on files made here with lame.

    bench/compare            # (installs its tools, then runs this) 60-min CBR and 10-min VBR, 5 runs
    RUNS=9 bench/compare     # more runs
    SILENCE=0 bench/compare  # without the silence split (it takes a minute or two)
    BIG=1 bench/compare      # also a CBR file over 2.5 GB, its split runs 3 s apart
    SETTLE=0 BIG=1 ...       # ... or back to back

Prints one table (medians of wall time, CPU time and peak memory; ratios to the byte-copy
limit, from paired runs) and checks every output of ours: it starts on a frame header, decodes
without error, and the parts of a split played one after the other are the source, sample for
sample.
"""
import os
import shlex
import shutil
import statistics
import struct
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "bench", "work")
BUILD = os.path.join(ROOT, "build", "bench")
MP3CUT = os.path.join(BUILD, "tools", "mp3cut")
MP3CHECK = os.path.join(BUILD, "tests", "mp3check")
RUNS = int(os.environ.get("RUNS", "5"))


def sh(cmd, **kw):
    return subprocess.run(cmd, shell=True, check=True, **kw)


def setup():
    sh(f"cmake -S '{ROOT}' -B '{BUILD}' -DCMAKE_BUILD_TYPE=Release >/dev/null")
    sh(f"cmake --build '{BUILD}' -j 2 --target mp3cut mp3check >/dev/null")
    os.makedirs(WORK, exist_ok=True)


def pcm(seconds):
    """A pipe of 16-bit stereo 44.1 kHz audio that varies, so VBR frames differ."""
    return (f"ffmpeg -v error -f lavfi -i 'sine=frequency=330:duration={seconds}' "
            f"-f lavfi -i 'anoisesrc=color=pink:amplitude=0.2:duration={seconds}' "
            "-filter_complex amix=inputs=2,volume=2 -ac 2 -ar 44100 -f s16le -")


def make_inputs():
    cbr = os.path.join(WORK, "cbr60.mp3")
    if not os.path.exists(cbr):
        print("encoding a 60-minute 128 kbps CBR file (a few minutes, once)...", flush=True)
        sh(f"{pcm(3600)} | lame --quiet -r -s 44.1 --bitwidth 16 -b 128 "
           f"--tt 'Bench CBR' --id3v1-only - '{cbr}.tmp' && mv '{cbr}.tmp' '{cbr}'")
    vbr = os.path.join(WORK, "vbr10.mp3")
    if not os.path.exists(vbr):
        print("encoding a 10-minute -V2 VBR file with a 300 KB cover...", flush=True)
        cover = os.path.join(WORK, "cover.jpg")
        with open(cover, "wb") as f:  # a JPEG signature and 300 KB of noise, syncs included
            f.write(b"\xff\xd8\xff\xe0" + os.urandom(300 * 1024) + b"\xff\xd9")
        sh(f"{pcm(600)} | lame --quiet -r -s 44.1 --bitwidth 16 -V 2 --id3v2-only "
           f"--tt 'Bench VBR' --ti '{cover}' - '{vbr}.tmp' && mv '{vbr}.tmp' '{vbr}'")
    vbr60 = os.path.join(WORK, "vbr60.mp3")
    if not os.path.exists(vbr60):
        print("encoding a 60-minute -V2 VBR file with the cover (a few minutes, once)...", flush=True)
        sh(f"{pcm(3600)} | lame --quiet -r -s 44.1 --bitwidth 16 -V 2 --id3v2-only "
           f"--tt 'Bench VBR 60' --ti '{os.path.join(WORK, 'cover.jpg')}' - '{vbr60}.tmp' "
           f"&& mv '{vbr60}.tmp' '{vbr60}'")
    files = [("CBR 60 min", cbr, (600, 1200), 60), ("VBR 10 min + cover", vbr, (120, 300), 60),
             ("VBR 60 min + cover", vbr60, (600, 1200), 60)]
    if os.environ.get("BIG") == "1":
        big = os.path.join(WORK, "big.mp3")
        if not os.path.exists(big):
            print("joining a CBR file over 2.5 GB...", flush=True)
            start, end = audio_span(cbr)
            with open(cbr, "rb") as f:
                f.seek(start)
                audio = f.read(end - start)
            # A stand-in for one long encode: the copies hold whole periods of lame's padding
            # (at 128 kbps and 44.1 kHz, 47 padded frames in every 49), so that every frame
            # lies where the bitrate puts it, as in a real long file. Whole copies would start
            # the pattern again at each join, and the frames drift off the arithmetic there;
            # such a file is walked frame by frame (see bench/README.md).
            pos, frames, whole = 0, 0, 0
            while pos + 4 <= len(audio):
                pos += 417 + ((audio[pos + 2] >> 1) & 1)
                frames += 1
                if frames % 49 == 0:
                    whole = pos
            audio = audio[:whole]
            with open(big + ".tmp", "wb") as f:
                while f.tell() < 2600 * 1024 * 1024:
                    f.write(audio)
            os.rename(big + ".tmp", big)
        files.append(("CBR > 2.5 GB", big, (36000, 36600), 600))
    return files


def audio_span(path):
    """Byte range of the audio frames: after ID3v2 tags and a Xing/Info frame, before ID3v1."""
    with open(path, "rb") as f:
        data = f.read(1 << 20)
        size = os.path.getsize(path)
        pos = 0
        while data[pos:pos + 3] == b"ID3":
            body = (data[pos + 6] << 21) | (data[pos + 7] << 14) | (data[pos + 8] << 7) | data[pos + 9]
            pos += 10 + body + (10 if data[pos + 5] & 0x10 else 0)
            if pos + 64 > len(data):
                f.seek(pos)
                data = data[:pos] + f.read(1 << 20)
        length = frame_length(data[pos:pos + 4])
        if data[pos + 36:pos + 40] in (b"Xing", b"Info"):
            pos += length
        f.seek(size - 128)
        end = size - 128 if f.read(3) == b"TAG" else size
    return pos, end


BITRATES = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]


def frame_length(h):
    """MPEG-1 Layer III at 44.1 kHz only: what lame makes here."""
    if len(h) < 4 or h[0] != 0xFF or (h[1] & 0xFE) != 0xFA or (h[2] >> 4) in (0, 15):
        return 0
    return 144000 * BITRATES[h[2] >> 4] // 44100 + ((h[2] >> 1) & 1)


def check_output(path):
    with open(path, "rb") as f:
        head = f.read(10)
        if head[:3] == b"ID3":  # the output's tag, then its frames
            f.seek(10 + ((head[6] << 21) | (head[7] << 14) | (head[8] << 7) | head[9]))
            head = f.read(4)
    if frame_length(head[:4]) == 0:
        return f"{os.path.basename(path)} does not start on a frame header behind its tag"
    out = subprocess.run([MP3CHECK, path], capture_output=True, text=True)
    return None if out.returncode == 0 else out.stdout.strip()


def timed(cmd):
    """Wall seconds, CPU seconds and peak KiB of one run, from the kernel's account of it.

    GNU time sits between us and the command only to read its peak memory: a child's peak
    counts the memory of the process it was forked from, and time is small where we are not.
    """
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M"] + shlex.split(cmd),
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    err = child.stderr.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{cmd} failed: {err[-400:]}")
    return wall, usage.ru_utime + usage.ru_stime, int(err.strip().splitlines()[-1])


def limit_files(src, sizes):
    """A folder of files of the given sizes, of the source's bytes (from its start again where
    it is shorter): its copy is the limit of a split, which writes as many bytes (tags
    included) into as many files."""
    path = os.path.join(WORK, os.path.basename(src) + ".limit.d")
    names = [f"p{n:04d}" for n in range(len(sizes))]
    if os.path.isdir(path) and sorted(os.listdir(path)) == names and all(
            os.path.getsize(os.path.join(path, n)) == size for n, size in zip(names, sizes)):
        return path
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path + ".tmp", exist_ok=True)
    with open(src, "rb") as f:
        for name, size in zip(names, sizes):
            with open(os.path.join(path + ".tmp", name), "wb") as out:
                while out.tell() < size:
                    block = f.read(min(1 << 24, size - out.tell()))
                    if not block:
                        f.seek(0)
                        continue
                    out.write(block)
    os.rename(path + ".tmp", path)
    return path


def bench(name, variants, limit, outdir, settle=0.0):
    """Runs each variant RUNS times, interleaved so that every run has its limit beside it.

    The order turns round every round, so that no tool always follows the same one. settle:
    seconds of rest before each run. A run that writes gigabytes leaves the memory it frees
    behind in a state that speeds or slows the next one by up to two times on a virtual machine
    (the host takes freed memory back after a moment); a rest gives every run the same start.
    """
    results = {v: [] for v in variants}
    for round_ in range(RUNS):
        order = list(variants) if round_ % 2 == 0 else list(reversed(variants))
        for v in order:
            shutil.rmtree(outdir, ignore_errors=True)
            os.makedirs(outdir)
            os.sync()  # no run pays for the write-back of the one before
            time.sleep(settle)
            results[v].append(timed(variants[v]))
    rows = []
    for v in variants:
        walls = [r[0] for r in results[v]]
        ratios = [a[0] / max(b[0], 1e-3) for a, b in zip(results[v], results[limit])]
        rows.append((name, v, statistics.median(walls),
                     statistics.median(r[1] for r in results[v]),
                     max(r[2] for r in results[v]) / 1024, statistics.median(ratios)))
    return rows


def silence_bench(rows, problems):
    """A silence split of a 60-minute recording with two seconds of silence every minute,
    against mp3splt's and the limit, a plain decode of the file (mpg123 -t)."""
    talk = os.path.join(WORK, "talk60.mp3")
    if not os.path.exists(talk):
        print("encoding a 60-minute recording with a silence every minute...", flush=True)
        # Tone and hiss for 58 s, then 2 s of digital silence: silences at 58-60, 118-120, ...
        sh("ffmpeg -v error -f lavfi -i \"aevalsrc='if(lt(mod(t,60),58),"
           "0.3*sin(2*PI*330*t)+0.05*(random(0)-0.5),0)':s=44100:d=3600\" "
           f"-ac 2 -f s16le - | lame --quiet -r -s 44.1 --bitwidth 16 -V 4 - '{talk}.tmp' "
           f"&& mv '{talk}.tmp' '{talk}'")
    out = os.path.join(WORK, "out")
    variants = {
        "mp3cut split --silence": f"'{MP3CUT}' split '{talk}' --silence -d '{out}' -n s --quiet",
        # Run in the emptied output folder: mp3splt keeps what it found in mp3splt.log in the
        # folder it runs in, and a second run would read it instead of decoding.
        "mp3splt -s": f"sh -c \"cd '{out}' && mp3splt -q -s -d . '{talk}'\"",
        "mpg123 -t (limit)": f"mpg123 -q -t '{talk}'",
    }
    rows += bench("VBR 60 min, a silence a minute: split at silences", variants,
                  "mpg123 -t (limit)", out)
    # The points found: one in the middle of each silence, 59 s, 119 s, ... to 3539 s.
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    sh(f"'{MP3CUT}' split '{talk}' --silence -d '{out}' -n s --quiet >/dev/null")
    parts = sorted(p for p in os.listdir(out) if p.startswith("s"))
    if len(parts) != 60:
        problems.append(f"silence split: {len(parts)} parts instead of 60")
    else:
        for p in parts[:-1]:
            info = subprocess.run([MP3CUT, "info", os.path.join(out, p)], capture_output=True,
                                  text=True).stdout
            length = next(l for l in info.splitlines() if l.startswith("duration:"))
            minutes, rest = length.split()[1].split(":")
            seconds = int(minutes) * 60 + float(rest)
            expected = 59.0 if p == parts[0] else 60.0
            if abs(seconds - expected) > 0.05:
                problems.append(f"silence split: {p} lasts {seconds} s, not {expected} s")
    shutil.rmtree(out, ignore_errors=True)


def verify_bench(rows, problems):
    """mp3cut verify of the talk file's split every 60 s (decoding the source and the parts)
    against one plain decode of the source (mpg123 -t); goal: 2.2x."""
    talk = os.path.join(WORK, "talk60.mp3")
    parts = os.path.join(WORK, "talk60-parts")
    shutil.rmtree(parts, ignore_errors=True)
    os.makedirs(parts)
    sh(f"'{MP3CUT}' split '{talk}' --every 60 -d '{parts}' -n p --quiet >/dev/null")
    verify = f"'{MP3CUT}' verify '{talk}' '{parts}'/*.mp3"
    variants = {
        "mp3cut verify": f"sh -c \"{verify} >/dev/null\"",
        "mpg123 -t (limit)": f"mpg123 -q -t '{talk}'",
    }
    rows += bench("VBR 60 min, a silence a minute: verify its split every 60 s", variants,
                  "mpg123 -t (limit)", os.path.join(WORK, "out"))
    if subprocess.run(f"{verify} >/dev/null", shell=True).returncode != 0:
        problems.append("verify: the split of the talk file is not exact")
    shutil.rmtree(parts, ignore_errors=True)


def level_bench(rows, problems):
    """The 60-minute CBR file split every 60 s with fades and a gain against the plain split
    (goal <= 1.15x: the gains are edited as the frames are copied), and with --replaygain
    against one plain decode of it, mpg123 -t (goal <= 1.2x: each part is decoded and
    measured)."""
    cbr = os.path.join(WORK, "cbr60.mp3")
    out = os.path.join(WORK, "out")
    plain = f"'{MP3CUT}' split '{cbr}' --every 60 -d '{out}' -n p --quiet"
    level = " --fade-in 500 --fade-out 500 --gain -3"
    variants = {
        "mp3cut split" + level: plain + level,
        "mp3cut split (limit)": plain,
    }
    rows += bench("CBR 60 min: split every 60 s, fades and gain", variants,
                  "mp3cut split (limit)", out)
    variants = {
        "mp3cut split --replaygain": plain + " --replaygain",
        "mpg123 -t (limit)": f"mpg123 -q -t '{cbr}'",
    }
    rows += bench("CBR 60 min: split every 60 s with ReplayGain", variants,
                  "mpg123 -t (limit)", out)
    # The parts of both decode cleanly; the ReplayGain parts carry their values.
    for extra in (level, " --replaygain"):
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        sh(plain + extra + " >/dev/null")
        parts = sorted(os.path.join(out, p) for p in os.listdir(out))
        problems += [check_output(p) for p in parts[:3] + parts[-2:]]
        if extra == " --replaygain":
            with open(parts[0], "rb") as f:
                if b"REPLAYGAIN_ALBUM_GAIN" not in f.read(4096):
                    problems.append("replaygain: the first part has no album gain")
    shutil.rmtree(out, ignore_errors=True)


def batch_bench(rows, problems):
    """mp3cut split of 20 files at once (--jobs, one a core) against a shell loop of mp3splt
    over them and the limit, cp -r of as many bytes into as many files: 20 copies of the
    10-minute VBR file with its cover, each split every 60 s into a folder of its own."""
    batch = os.path.join(WORK, "batch")
    src = os.path.join(WORK, "vbr10.mp3")
    names = [f"f{n:02d}.mp3" for n in range(20)]
    if not os.path.isdir(batch) or sorted(os.listdir(batch)) != names:
        shutil.rmtree(batch, ignore_errors=True)
        os.makedirs(batch)
        for name in names:
            shutil.copyfile(src, os.path.join(batch, name))
    files = " ".join(f"'{batch}/{n}'" for n in names)
    out = os.path.join(WORK, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    sh(f"'{MP3CUT}' split {files} --every 60 -d '{out}/@f' --quiet >/dev/null 2>&1")
    sizes = [os.path.getsize(os.path.join(root, f))
             for root, _, fs in sorted(os.walk(out)) for f in sorted(fs)]
    limit = limit_files(os.path.join(batch, "f00.mp3"), sizes)
    variants = {
        "mp3cut split --jobs": f"sh -c \"'{MP3CUT}' split {files} --every 60 -d '{out}/@f' "
                               f"--quiet 2>/dev/null\"",
        "mp3splt, a loop": f"sh -c 'for f in {batch}/*.mp3; do mp3splt -q -t 1.00 -d {out} "
                           f"\"$f\"; done'",
        "cp -r (limit)": f"cp -r '{limit}' '{out}/copy'",
    }
    rows += bench("VBR 10 min + cover, 20 files: split every 60 s", variants, "cp -r (limit)", out)
    if len(sizes) != 20 * 10:
        problems.append(f"batch split: {len(sizes)} parts instead of 200")


def main():
    setup()
    rows, problems = [], []
    for label, src, (a, b), step in make_inputs():
        out = os.path.join(WORK, "out")
        start, end = audio_span(src)
        # The limit: a byte copy of as many bytes as our cut writes.
        sh(f"'{MP3CUT}' cut '{src}' {a // 60}:{a % 60}.0 {b // 60}:{b % 60}.0 "
           f"-o '{WORK}/ours.mp3' >/dev/null")
        nbytes = os.path.getsize(f"{WORK}/ours.mp3")
        problems.append(check_output(f"{WORK}/ours.mp3"))
        cut = {
            "mp3cut cut": f"'{MP3CUT}' cut '{src}' {a // 60}:{a % 60}.0 {b // 60}:{b % 60}.0 -o '{out}/c.mp3'",
            "mp3splt": f"mp3splt -q -d '{out}' -o c '{src}' {a // 60}.{a % 60:02d} {b // 60}.{b % 60:02d}",
            "ffmpeg -c copy": f"ffmpeg -v error -y -ss {a} -to {b} -i '{src}' -map 0:a -c copy '{out}/c.mp3'",
            "dd (limit)": f"dd if='{src}' of='{out}/c.mp3' bs=1M skip={start} count={nbytes} "
                          "iflag=skip_bytes,count_bytes status=none",
        }
        rows += bench(f"{label}: cut {a // 60}:{a % 60:02d}-{b // 60}:{b % 60:02d}", cut,
                      "dd (limit)", out)
        # The limit: a copy of as many bytes as our split writes, tags included, into as many
        # files (making a file costs about 0.14 ms here, whatever writes it).
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        sh(f"'{MP3CUT}' split '{src}' --every {step} -d '{out}' -n p --quiet >/dev/null")
        sizes = [os.path.getsize(os.path.join(out, p)) for p in sorted(os.listdir(out))]
        limit = limit_files(src, sizes)
        split = {
            "mp3cut split": f"'{MP3CUT}' split '{src}' --every {step} -d '{out}' -n p --quiet",
            "mp3splt -t": f"mp3splt -q -d '{out}' -t {step // 60}.00 '{src}'",
            "ffmpeg segment": f"ffmpeg -v error -i '{src}' -map 0:a -c copy -f segment "
                              f"-segment_time {step} '{out}/p%03d.mp3'",
            "cp (limit)": f"cp -r '{limit}' '{out}/copy'",
        }
        if os.path.getsize(src) > 1 << 30:  # peers take minutes on the big file: time ours
            split = {k: v for k, v in split.items() if k in ("mp3cut split", "cp (limit)")}
        settle = float(os.environ.get("SETTLE", "3")) if os.path.getsize(src) > 1 << 30 else 0.0
        rows += bench(f"{label}: split every {step} s", split, "cp (limit)", out, settle)
        # Check our split: every part clean, and together the source, sample for sample.
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        sh(f"'{MP3CUT}' split '{src}' --every {step} -d '{out}' -n p --quiet >/dev/null")
        parts = sorted(p for p in os.listdir(out) if p.startswith("p"))
        if os.path.getsize(src) < 1 << 30:
            problems += [check_output(os.path.join(out, p)) for p in parts]
            # Played gaplessly one after the other, the parts are the source, sample for sample.
            joins = subprocess.run([MP3CHECK, "--joins", src] +
                                   [os.path.join(out, p) for p in parts],
                                   capture_output=True, text=True)
            if joins.returncode != 0:
                problems.append(f"{label}: {joins.stdout.strip()}")
        shutil.rmtree(out, ignore_errors=True)

    batch_bench(rows, problems)
    level_bench(rows, problems)
    if os.environ.get("SILENCE", "1") == "1":
        silence_bench(rows, problems)
        verify_bench(rows, problems)

    print()
    print(f"Medians of {RUNS} runs; peak memory is the largest of the runs.")
    print()
    print("| task | tool | wall ms | CPU ms | peak MB | x limit |")
    print("|---|---|---:|---:|---:|---:|")
    for task, tool, wall, cpu, peak, ratio in rows:
        print(f"| {task} | {tool} | {wall * 1000:.1f} | {cpu * 1000:.1f} | {peak:.1f} | {ratio:.2f} |")
    problems = [p for p in problems if p]
    silence = [r for r in rows if r[1] == "mp3cut split --silence"]
    if silence:
        print()
        print(f"silence split: {silence[0][5]:.2f}x one mpg123 -t of the file (goal <= 0.6x: the "
              f"scan decodes on every core, {os.cpu_count()} here)")
    levelled = [r for r in rows if r[1].startswith("mp3cut split --fade-in")]
    if levelled:
        print(f"split with fades and a gain: {levelled[0][5]:.2f}x the plain split (goal <= 1.15x)")
    gained = [r for r in rows if r[1] == "mp3cut split --replaygain"]
    if gained:
        print(f"split with ReplayGain: {gained[0][5]:.2f}x one mpg123 -t of the file (goal <= 1.2x)")
    verify = [r for r in rows if r[1] == "mp3cut verify"]
    if verify:
        print(f"verify of a split: {verify[0][5]:.2f}x one mpg123 -t of the source (goal <= 2.2x: "
              f"it decodes the source and the parts)")
    print()
    print("checks: " + ("all outputs start on a frame and decode cleanly; the parts of each "
                        "split play as the source, sample for sample"
                        if not problems else "FAILED\n  " + "\n  ".join(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
