#!/usr/bin/env python3
"""Writes a folder of mixed files (random, text-like, zeros) totalling SIZE MiB."""
import os
import random
import sys


def main():
    out, total = sys.argv[1], int(sys.argv[2]) * (1 << 20)
    os.makedirs(out, exist_ok=True)
    rnd = random.Random(7)
    text = b"".join(b"line %d: lorem ipsum dolor sit amet %x\n" % (i, rnd.getrandbits(32))
                    for i in range(20000))
    kinds = ["random", "text", "text", "zeros", "random", "text"]
    sizes = [40, 8, 1, 0.25, 60, 3, 30, 0.5, 16, 2]
    written, i = 0, 0
    while written < total:
        size = min(int(sizes[i % len(sizes)] * (1 << 20)), total - written)
        kind = kinds[i % len(kinds)]
        with open(os.path.join(out, "f%03d.%s" % (i, kind)), "wb") as f:
            left = size
            while left > 0:
                n = min(left, 1 << 20)
                if kind == "random":
                    f.write(os.urandom(n))
                elif kind == "zeros":
                    f.write(bytes(n))
                else:
                    f.write((text * (n // len(text) + 1))[:n])
                left -= n
        written += size
        i += 1


if __name__ == "__main__":
    main()
