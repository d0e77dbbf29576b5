"""Watches the X screen for pixels to take a colour, woken by the DAMAGE extension
instead of polling, so the watcher costs nothing while it waits. Times are
time.monotonic(), the clock the Agent simulator stamps its events with."""
import ctypes
import select
import time

_x11 = ctypes.CDLL('libX11.so.6')
_xd = ctypes.CDLL('libXdamage.so.1')
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x11.XPending.argtypes = [ctypes.c_void_p]
_x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x11.XGetImage.restype = ctypes.c_void_p
_x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                           ctypes.c_ulong, ctypes.c_int]
_x11.XGetPixel.restype = ctypes.c_ulong
_x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
_x11.XDestroyImage.argtypes = [ctypes.c_void_p]
_xd.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
_xd.XDamageCreate.restype = ctypes.c_ulong
_xd.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
_xd.XDamageSubtract.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]

_ZPIXMAP = 2
_REPORT_NON_EMPTY = 3


class ScreenWatch:
    def __init__(self):
        self.dpy = _x11.XOpenDisplay(None)
        if not self.dpy:
            raise SystemExit('xscreen: no X display')
        self.root = _x11.XDefaultRootWindow(self.dpy)
        event, error = ctypes.c_int(), ctypes.c_int()
        if not _xd.XDamageQueryExtension(self.dpy, ctypes.byref(event), ctypes.byref(error)):
            raise SystemExit('xscreen: the X server has no DAMAGE extension')
        # Damage to the root window counts drawing into every window on the screen.
        self.damage = _xd.XDamageCreate(self.dpy, self.root, _REPORT_NON_EMPTY)
        self.fd = _x11.XConnectionNumber(self.dpy)
        self.event = ctypes.create_string_buffer(192)

    def pixel(self, x, y):
        image = _x11.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, _ZPIXMAP)
        if not image:
            return (-1, -1, -1)
        v = _x11.XGetPixel(image, 0, 0)
        _x11.XDestroyImage(image)
        return ((v >> 16) & 255, (v >> 8) & 255, v & 255)

    def _drain(self):
        while _x11.XPending(self.dpy):
            _x11.XNextEvent(self.dpy, self.event)

    def wait_for(self, points, rgb, timeout=10.0, tolerance=12):
        """Waits until every (x, y) of points shows rgb (each channel within tolerance);
        returns the monotonic time it was seen, or None after timeout seconds."""
        end = time.monotonic() + timeout
        while True:
            # Re-armed before looking, so drawing after the look still wakes the wait.
            _xd.XDamageSubtract(self.dpy, self.damage, 0, 0)
            _x11.XSync(self.dpy, 0)
            self._drain()
            if all(max(abs(a - b) for a, b in zip(self.pixel(x, y), rgb)) <= tolerance for x, y in points):
                return time.monotonic()
            left = end - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], min(left, 0.05))

    def count_changes(self, x, y, seconds):
        """(changes, looks) of the pixel at x, y, looked at about 2,000 times a second
        for seconds: on a screen whose every frame differs there, the changes are the
        updates that reached the X screen (up to the rate of looking)."""
        end = time.monotonic() + seconds
        last, changes, looks = self.pixel(x, y), 0, 1
        while time.monotonic() < end:
            time.sleep(0.0004)
            now = self.pixel(x, y)
            looks += 1
            changes += now != last
            last = now
        return changes, looks
