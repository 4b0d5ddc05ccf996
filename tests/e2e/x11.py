"""What xdotool cannot do for us, through libX11 directly.

Typing a character that the keymap lacks makes xdotool remap a key for a
moment, and a busy program can read the key after the mapping has gone back:
so the characters get keys of their own before the program starts. Those keys
last only on a server that keeps its keymap when its last client leaves
(Xvfb -noreset). A window is closed the way a window manager closes it, with
WM_DELETE_WINDOW, so the program runs its own closing path. And the screen is
saved as PNG without an image tool.
"""

import ctypes
import struct
import zlib

_NO_SYMBOL = 0
_CLIENT_MESSAGE = 33
_CURRENT_TIME = 0


class _ClientMessage(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("data", ctypes.c_long * 5),
    ]


class _Image(ctypes.Structure):
    # The leading fields of XImage, as far as the pixel layout.
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
    ]


_Z_PIXMAP = 2
_LSB_FIRST = 0


def _png(width, height, rgb_rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + row for row in rgb_rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


class _Event(ctypes.Union):
    # XEvent is a union padded to 24 longs.
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


class XError(Exception):
    pass


def _unicode_keysym(char):
    return 0x01000000 | ord(char)


class Display:
    def __init__(self, name):
        self._x = ctypes.CDLL("libX11.so.6")
        self._x.XOpenDisplay.restype = ctypes.c_void_p
        self._x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        self._x.XGetKeyboardMapping.argtypes = [
            ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
        self._x.XChangeKeyboardMapping.argtypes = [
            ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
            ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        self._x.XDisplayKeycodes.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        self._x.XInternAtom.restype = ctypes.c_ulong
        self._x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self._x.XSendEvent.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
            ctypes.POINTER(_Event)]
        self._x.XGetImage.restype = ctypes.POINTER(_Image)
        self._x.XGetImage.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
            ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self._x.XDefaultRootWindow.restype = ctypes.c_ulong
        self._x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self._x.XFree.argtypes = [ctypes.c_void_p]
        self._x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self._x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._d = self._x.XOpenDisplay(name.encode())
        if not self._d:
            raise XError(f"cannot open display {name}")

    def close(self):
        if self._d:
            self._x.XCloseDisplay(self._d)
            self._d = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _keyboard_map(self):
        """(first keycode, keysyms per keycode, one tuple of keysyms per keycode)."""
        lo, hi = ctypes.c_int(), ctypes.c_int()
        self._x.XDisplayKeycodes(self._d, ctypes.byref(lo), ctypes.byref(hi))
        count = hi.value - lo.value + 1
        per = ctypes.c_int()
        table = self._x.XGetKeyboardMapping(self._d, lo.value, count, ctypes.byref(per))
        if not table:
            raise XError("cannot read the keyboard mapping")
        try:
            keys = [tuple(table[i * per.value + j] for j in range(per.value))
                    for i in range(count)]
        finally:
            self._x.XFree(table)
        return lo.value, per.value, keys

    def give_keys(self, characters):
        """Maps each character onto a keycode that had no symbol at all."""
        lo, per, keys = self._keyboard_map()
        spare = [lo + i for i, syms in enumerate(keys) if all(s == _NO_SYMBOL for s in syms)]
        wanted = sorted(set(characters))
        if len(spare) < len(wanted):
            raise XError(f"{len(wanted)} characters but only {len(spare)} spare keys")
        for keycode, char in zip(spare, wanted):
            keysym = _unicode_keysym(char)
            syms = (ctypes.c_ulong * per)(*([keysym, keysym] + [0] * (per - 2)))
            self._x.XChangeKeyboardMapping(self._d, keycode, per, syms, 1)
        self._x.XSync(self._d, 0)

    def keyless(self, characters):
        """The characters that no key gives, in order, each once."""
        _, _, keys = self._keyboard_map()
        mapped = {s for syms in keys for s in syms}
        return [c for c in dict.fromkeys(characters) if _unicode_keysym(c) not in mapped]

    def ask_to_close(self, window):
        protocols = self._x.XInternAtom(self._d, b"WM_PROTOCOLS", 0)
        delete = self._x.XInternAtom(self._d, b"WM_DELETE_WINDOW", 0)
        event = _Event()
        event.xclient.type = _CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = protocols
        event.xclient.format = 32
        event.xclient.data[0] = delete
        event.xclient.data[1] = _CURRENT_TIME
        if not self._x.XSendEvent(self._d, window, 0, 0, ctypes.byref(event)):
            raise XError("the close request could not be sent")
        self._x.XSync(self._d, 0)

    def screen_png(self, x, y, width, height):
        """That part of the screen, as PNG bytes (24-bit TrueColor screens)."""
        root = self._x.XDefaultRootWindow(self._d)
        image = self._x.XGetImage(self._d, root, x, y, width, height, ctypes.c_ulong(-1).value,
                                  _Z_PIXMAP)
        if not image:
            raise XError("cannot read the screen")
        try:
            im = image.contents
            layout = (im.bits_per_pixel, im.byte_order, im.red_mask, im.green_mask,
                      im.blue_mask)
            if layout != (32, _LSB_FIRST, 0xFF0000, 0x00FF00, 0x0000FF):
                raise XError(f"pixel layout {layout} is not the one expected of Xvfb at 24 bits")
            data = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            rows = []
            for r in range(im.height):
                bgrx = data[r * im.bytes_per_line:r * im.bytes_per_line + 4 * im.width]
                rgb = bytearray(3 * im.width)
                rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
                rows.append(bytes(rgb))
            return _png(im.width, im.height, rows)
        finally:
            self._x.XFree(image.contents.data)
            self._x.XFree(image)
