"""A TCP relay that holds every byte for half a round trip each way, as a wide-area link
would: the viewer connects to LISTEN, the relay to TARGET (both port 21560 by default).

    python3 bench/wan_relay.py 127.0.0.199 127.0.0.198 [--rtt-ms 20] [--port 21560]

file_copy.py starts one between the viewer and the simulator to time a download over it.
Bandwidth is not limited: only the delay, which is what one packet in flight feels."""
import argparse
import collections
import socket
import threading
import time


class Relay:
    """Accepts connections on listen:port and relays each to target:port, every chunk
    delivered rtt/2 after it was read. Runs in daemon threads until stop()."""

    def __init__(self, listen, target, port=21560, rtt_ms=20.0):
        self.target, self.port, self.delay = target, port, rtt_ms / 2000.0
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind((listen, port))
        self.server.listen(4)
        self.socks = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                a, _ = self.server.accept()
            except OSError:
                return
            b = socket.create_connection((self.target, self.port))
            for s in (a, b):
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.socks += [a, b]
            self._pipe(a, b)
            self._pipe(b, a)

    def _pipe(self, src, dst):
        due = collections.deque()
        ready = threading.Condition()

        def read():
            while True:
                try:
                    data = src.recv(1 << 16)
                except OSError:
                    data = b''
                with ready:
                    due.append((time.monotonic() + self.delay, data))
                    ready.notify()
                if not data:
                    return

        def write():
            while True:
                with ready:
                    while not due:
                        ready.wait()
                    at, data = due.popleft()
                wait = at - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                try:
                    if not data:
                        dst.shutdown(socket.SHUT_WR)
                        return
                    dst.sendall(data)
                except OSError:
                    return

        threading.Thread(target=read, daemon=True).start()
        threading.Thread(target=write, daemon=True).start()

    def stop(self):
        for s in [self.server] + self.socks:
            try:
                s.close()
            except OSError:
                pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('listen')
    ap.add_argument('target')
    ap.add_argument('--port', type=int, default=21560)
    ap.add_argument('--rtt-ms', type=float, default=20.0)
    a = ap.parse_args()
    Relay(a.listen, a.target, a.port, a.rtt_ms)
    print('relaying %s:%d to %s:%d, %.0f ms round trip' % (a.listen, a.port, a.target, a.port, a.rtt_ms), flush=True)
    while True:
        time.sleep(3600)


if __name__ == '__main__':
    main()
