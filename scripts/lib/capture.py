#!/usr/bin/env python3
"""A ticket printer on a TCP port, for a raw CUPS queue (socket://127.0.0.1:PORT).

Every connection is one print job. Each job is saved as job-NNNN.bin (the bytes as they came) and
job-NNNN.txt (what a person reads off the paper: the text in the printer's code page, with the
ESC/POS commands shown as [tags] and the cut as a line of scissors). Jobs are numbered in the order
their first bytes arrive, each number taken once under a lock; each file is written under a
temporary name and renamed into place, the .bin last, so a reader never sees half a job.

    capture.py --port 9100 --dir demo-run/capture        (Ctrl-C stops it)
    capture.py --render job-0001.bin                     (prints the rendering of a saved job)
"""
import argparse
import os
import socketserver
import sys
import threading
import time

ESC, GS, FS = 0x1B, 0x1D, 0x1C


def _size(n):
    w, h = (n >> 4) + 1, (n & 0x0F) + 1
    return "[size normal]" if (w, h) == (1, 1) else f"[size {w}x{h}]"


def _mode(n):
    parts = []
    if n & 0x01:
        parts.append("font B")
    if n & 0x08:
        parts.append("bold")
    if n & 0x10:
        parts.append("tall")
    if n & 0x20:
        parts.append("wide")
    if n & 0x80:
        parts.append("underline")
    return "[mode " + (", ".join(parts) if parts else "normal") + "]"


def _onoff(name, n):
    return f"[{name} {'on' if n & 1 else 'off'}]"


# ESC x: (number of parameter bytes, how to show it)
ESC_CMDS = {
    ord("@"): (0, lambda p: "[init]"),
    ord("E"): (1, lambda p: _onoff("bold", p[0])),
    ord("-"): (1, lambda p: _onoff("underline", p[0])),
    ord("!"): (1, lambda p: _mode(p[0])),
    ord("2"): (0, lambda p: "[line spacing default]"),
    ord("3"): (1, lambda p: f"[line spacing {p[0]}]"),
    ord("t"): (1, lambda p: f"[code page {p[0]}]"),
    ord("r"): (1, lambda p: "[red]" if p[0] & 1 else "[black]"),
    ord("a"): (1, lambda p: ["[left]", "[centre]", "[right]"][p[0] % 48 % 3]),
    ord("d"): (1, lambda p: f"[feed {p[0]} lines]"),
    ord("J"): (1, lambda p: f"[feed {p[0]} dots]"),
    ord("M"): (1, lambda p: f"[font {p[0]}]"),
    ord("R"): (1, lambda p: f"[charset {p[0]}]"),
    ord("G"): (1, lambda p: _onoff("double strike", p[0])),
    ord("="): (1, lambda p: f"[select device {p[0]}]"),
    ord("F"): (2, lambda p: "[invoice printer feed]"),
    ord("B"): (2, lambda p: f"[beep x{p[0]}]"),
    ord("p"): (3, lambda p: "[open drawer]"),
    ord("o"): (0, lambda p: "[beep]"),
    ord("i"): (0, lambda p: "\n✂ ---------------- cut ----------------\n"),
    ord("m"): (0, lambda p: "\n✂ ------------- partial cut -------------\n"),
}


def render(data: bytes) -> str:
    out = []
    text = bytearray()
    codepage = "cp437"

    def flush():
        if text:
            out.append(text.decode(codepage, errors="replace"))
            text.clear()

    i, n = 0, len(data)
    while i < n:
        b = data[i]
        if b == ESC and i + 1 < n:
            flush()
            c = data[i + 1]
            if c == ord("c") and i + 3 < n:  # ESC c 0/3/4/5 n: paper and panel settings
                out.append("[paper setting]")
                i += 4
                continue
            if c == ord("*") and i + 4 < n:  # bit image: m nL nH data
                m, width = data[i + 2], data[i + 3] + 256 * data[i + 4]
                size = width * (3 if m in (32, 33) else 1)
                out.append(f"[bit image {width} columns]")
                i += 5 + size
                continue
            if c == GS and i + 2 < n:  # ESC GS 7 d t1 t2: beep
                out.append("[beep]")
                i += 6
                continue
            count, show = ESC_CMDS.get(c, (0, lambda p, c=c: f"[ESC {chr(c) if 32 < c < 127 else c}]"))
            params = data[i + 2 : i + 2 + count]
            if c == ord("t") and params:
                codepage = "cp858" if params[0] == 19 else "cp437"
            out.append(show(params + bytes(count - len(params))))
            i += 2 + count
            continue
        if b == GS and i + 1 < n:
            flush()
            c = data[i + 1]
            if c == ord("!") and i + 2 < n:
                out.append(_size(data[i + 2]))
                i += 3
            elif c == ord("B") and i + 2 < n:
                out.append(_onoff("reverse", data[i + 2]))
                i += 3
            elif c == ord("V") and i + 2 < n:
                partial = data[i + 2] in (1, 49, 66)
                out.append("\n✂ ------------- partial cut -------------\n" if partial
                           else "\n✂ ---------------- cut ----------------\n")
                i += 4 if data[i + 2] in (65, 66) else 3
            elif c == ord("(") and i + 4 < n:  # GS ( L pL pH ...: stored logo
                length = data[i + 3] + 256 * data[i + 4]
                out.append("[logo]")
                i += 5 + length
            elif c == ord("v") and i + 7 < n:  # GS v 0 m xL xH yL yH data: raster image
                w = data[i + 4] + 256 * data[i + 5]
                h = data[i + 6] + 256 * data[i + 7]
                out.append(f"[raster image {w * 8}x{h}]")
                i += 8 + w * h
            else:
                out.append(f"[GS {chr(c) if 32 < c < 127 else c}]")
                i += 2
            continue
        if b == FS and i + 1 < n:
            flush()
            if data[i + 1] == ord("p") and i + 3 < n:
                out.append("[logo]")
                i += 4
            else:
                out.append("[FS]")
                i += 2
            continue
        if b == 0x0D:
            i += 1
            continue
        if b == 0x0A:
            text.append(b)
            i += 1
            continue
        if b in (0x07, 0x1E):
            flush()
            out.append("[beep]")
            i += 1
            continue
        if b == 0x0C:
            flush()
            out.append("[form feed]\n")
            i += 1
            continue
        if b < 0x20:
            flush()
            out.append(f"[{b:02X}]")
            i += 1
            continue
        text.append(b)
        i += 1
    flush()
    return "".join(out)


class Capture:
    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        os.makedirs(folder, exist_ok=True)
        existing = [f for f in os.listdir(folder) if f.startswith("job-") and f.endswith(".bin")]
        self.count = len(existing)

    def number(self):
        """The next job number, taken once: two jobs never share one."""
        with self.lock:
            self.count += 1
            return self.count

    @staticmethod
    def _write(path, content):
        tmp = path + ".part"
        with open(tmp, "wb") as f:
            f.write(content)
        os.replace(tmp, path)

    def save(self, number, data, peer):
        base = os.path.join(self.folder, f"job-{number:04d}")
        stamp = time.strftime("%Y-%m-%d %H:%M:%S")
        text = f"== job {number}: {len(data)} bytes from {peer} at {stamp}\n{render(data)}\n"
        self._write(base + ".txt", text.encode("utf-8"))
        self._write(base + ".bin", data)
        print(f"capture: job {number}, {len(data)} bytes -> {base}.txt", flush=True)


def serve(port, folder):
    capture = Capture(folder)

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            # The number goes with the job's first bytes, not with their end: a long job that
            # started first keeps its place. A connection that sends nothing takes none.
            number = None
            chunks = []
            while True:
                chunk = self.request.recv(65536)
                if not chunk:
                    break
                if number is None:
                    number = capture.number()
                chunks.append(chunk)
            data = b"".join(chunks)
            if data:
                capture.save(number, data, self.client_address[0])

    socketserver.ThreadingTCPServer.allow_reuse_address = True
    # Many queues may send at once: connections wait in the backlog instead of being retried.
    socketserver.ThreadingTCPServer.request_queue_size = 256
    with socketserver.ThreadingTCPServer(("127.0.0.1", port), Handler) as server:
        print(f"capture: listening on 127.0.0.1:{port}, jobs go to {folder}", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--port", type=int, help="TCP port to listen on (127.0.0.1)")
    ap.add_argument("--dir", help="folder for the captured jobs")
    ap.add_argument("--render", metavar="FILE", help="print the rendering of a saved job and exit")
    a = ap.parse_args()
    if a.render:
        with open(a.render, "rb") as f:
            sys.stdout.write(render(f.read()) + "\n")
        return
    if not a.port or not a.dir:
        ap.error("--port and --dir are needed")
    serve(a.port, a.dir)


if __name__ == "__main__":
    main()
