#!/usr/bin/env python3
"""Known answers for the random pool, computed from the generator's definition
with Python integers and hashlib, apart from the C++ code under test.

Prints the first N bytes (default 64) after the classic zero seeding as hex,
16 bytes a line, ready to paste into randompool_test.cpp.
Usage: randompool_oracle.py [N]
"""
import hashlib
import sys

MOD = 1 << 128


def seeded_state():
    # 256 updates with one zero byte: each adds MD5(b"\0") to the counter.
    state = 0
    digest = int.from_bytes(hashlib.md5(b"\x00").digest(), "big")
    for _ in range(256):
        state = (state + digest) % MOD
    return state


def stream(state, n):
    # The output is the concatenation of MD5(counter), MD5(counter + 1), ...
    out = b""
    while len(out) < n:
        out += hashlib.md5(state.to_bytes(16, "big")).digest()
        state = (state + 1) % MOD
    return out[:n]


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 64
    data = stream(seeded_state(), n)
    for i in range(0, n, 16):
        print('"' + data[i:i + 16].hex() + '"')


if __name__ == "__main__":
    main()
