#!/usr/bin/env python3
"""Feeds one detector stream to two recorders at once and compares their files.

    record-twice.py LINE_A LOG_A LINE_B LOG_B SECONDS RATE

LINE_A and LINE_B are the far ends of the lines the two recorders read (the
Linux program and the Windows program under Wine); LOG_A and LOG_B are their
data folders. Each recorder stamps a frame with its own clock at second
resolution, so the files can only be alike when both take each frame within
the same second:

- warm-up: one frame with status 00 after each second begins, until both day
  files have stamped two frames in a row with the same second;
- the stream: a burst of RATE frames 0.2 s after each second begins, for
  SECONDS seconds, the status never 00 (so its first frame is a status change
  in both status logs) and changing every few seconds, AQ changing with every
  frame.

Then the day files from the stream's first frame on, and the status logs from
its first status change on, must be byte for byte the same. Prints what it
compared; exits 1 on a difference (with the first differing lines).
"""
import glob
import os
import sys
import time


def frame(n, status):
    """A 25-byte frame of the newer generation ("glowkite +")."""
    b = bytearray(((n * 7 + i * 13) % 0x90) + 0x10 for i in range(25))
    b[0] = 0x00
    b[1] = 0xA1
    b[2] = 10 + n % 110            # AQ: a new value every frame, all plotted
    b[3] = status
    b[6] = 128                      # contamination
    b[19] = 0xA1
    return bytes(b)


def day_file(log):
    found = sorted(glob.glob(os.path.join(log, "glowkite_*.glow")))
    return found[-1] if found else None


def status_log(log):
    found = sorted(glob.glob(os.path.join(log, "glowKite_*.log")))
    return found[-1] if found else None


def read(path):
    if not path or not os.path.exists(path):
        return b""
    with open(path, "rb") as f:
        return f.read()


def lines(path):
    return read(path).split(b"\r\n")[:-1] if path else []


def stamp(line):
    return line[:19]


def sleep_until_next_second(offset):
    now = time.time()
    time.sleep(int(now) + 1 + offset - now)


def main():
    if len(sys.argv) != 7:
        print(__doc__, file=sys.stderr)
        return 2
    line_a, log_a, line_b, log_b = sys.argv[1:5]
    seconds, rate = int(sys.argv[5]), int(sys.argv[6])
    fa = os.open(line_a, os.O_WRONLY | os.O_NOCTTY)
    fb = os.open(line_b, os.O_WRONLY | os.O_NOCTTY)

    def send(data):
        os.write(fa, data)
        os.write(fb, data)

    # A recorder that has not opened its line yet misses frames, so the
    # warm-up counts only frames that both files gained, one each.
    n = 0
    alike = 0
    for _ in range(90):
        before_a, before_b = len(lines(day_file(log_a))), len(lines(day_file(log_b)))
        sleep_until_next_second(0.2)
        send(frame(n, 0x00))
        n += 1
        time.sleep(0.6)
        a, b = lines(day_file(log_a)), lines(day_file(log_b))
        if len(a) == before_a + 1 and len(b) == before_b + 1 and stamp(a[-1]) == stamp(b[-1]):
            alike += 1
            if alike == 2:
                break
        else:
            alike = 0
    else:
        print("record-twice: the two recorders never stamped the same second twice in a row "
              f"(day files: {len(lines(day_file(log_a)))} and {len(lines(day_file(log_b)))} lines "
              f"after {n} frames)", file=sys.stderr)
        return 1
    warm_a, warm_b = len(lines(day_file(log_a))), len(lines(day_file(log_b)))
    warm_up = n

    statuses = [0x01, 0x03, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x81]
    for s in range(seconds):
        sleep_until_next_second(0.2)
        status = statuses[(s // 3) % len(statuses)]
        send(b"".join(frame(n + k, status) for k in range(rate)))
        n += rate
    streamed = n - warm_up
    # Both must have stored every frame before the files are compared.
    deadline = time.time() + 30
    while time.time() < deadline:
        if (len(lines(day_file(log_a))) >= warm_a + streamed and
                len(lines(day_file(log_b))) >= warm_b + streamed):
            break
        time.sleep(0.2)
    os.close(fa)
    os.close(fb)

    failed = False
    day_a, day_b = lines(day_file(log_a)), lines(day_file(log_b))
    stream_a, stream_b = day_a[warm_a:], day_b[warm_b:]
    if len(stream_a) != streamed or len(stream_b) != streamed:
        print(f"record-twice: {streamed} stream frames sent, the day files hold {len(stream_a)} "
              f"and {len(stream_b)} of them", file=sys.stderr)
        failed = True
    if stream_a != stream_b:
        failed = True
        for i, (x, y) in enumerate(zip(stream_a, stream_b)):
            if x != y:
                print(f"record-twice: day files differ at stream line {i}:\n  {x!r}\n  {y!r}",
                      file=sys.stderr)
                break

    # The status logs from the stream's first status change on (the warm-up's
    # lines carry the start of each recording, at its own second).
    def stream_part(path):
        got = lines(path)
        for i, line in enumerate(got):
            if b"Alarm" in line:  # the stream's first status
                return got[i:]
        return []

    status_a, status_b = stream_part(status_log(log_a)), stream_part(status_log(log_b))
    if not status_a or status_a != status_b:
        failed = True
        print(f"record-twice: status logs differ:\n  {status_a!r}\n  {status_b!r}", file=sys.stderr)

    size = sum(len(x) + 2 for x in stream_a)
    status_size = sum(len(x) + 2 for x in status_a)
    print(f"record-twice: {streamed} stream frames after {warm_up} warm-up frames; "
          f"day file stream part {'identical' if stream_a == stream_b else 'DIFFERENT'} "
          f"({len(stream_a)} lines, {size} bytes); status log stream part "
          f"{'identical' if status_a == status_b else 'DIFFERENT'} ({len(status_a)} lines, {status_size} bytes)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
