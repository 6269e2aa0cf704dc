"""The ZEL280/ZEL260 USB HID I/O modules from Python, over libzelio.

A pure-Python package: it loads the shared library (libzelio.so.1 or
zelio.dll) with ctypes when it is first used, and raises OSError naming the
file and the package that brings it when there is none. The library is looked
for in this order:

1. the file named by the environment variable ``ZELIO_LIBRARY``,
2. next to this package's ``__init__.py`` (how the Windows installer ships it),
3. wherever the system finds shared libraries (on Windows only a full path
   that ``ctypes.util.find_library`` finds: never a bare ``zelio.dll``, which
   Windows would look for in the current folder too).

Arguments are checked before they reach the library: an argument of the
wrong type (a path that is not a ``str``, a configuration that is not a
:class:`Config`) raises ``TypeError``; a value out of its range raises
``ValueError`` naming the range (ctypes would silently cut it to the C
type's width), and so does text the library cannot take (a NUL character, a
lone surrogate). What the library itself refuses as a bad argument raises
:class:`UsageError`, which is a ``ValueError`` too.

Example::

    import zelio

    for info in zelio.list_modules():
        print(hex(info.product_id), info.model, info.mode.name, info.port, info.serial)
    with zelio.Module(0x280) as module:     # or Module(serial="...") / Module(port="1-1.4")
        print(module.read_config())
        module.blink(3, 5, 5)   # the GUI's usb_io_output(280,0x55,3,0,0,0)

Every call blocks until the module has answered (at most about 2 s) and
raises a :class:`ZelioError` subclass when it fails. A :class:`Module` is not
thread-safe: use one per thread.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import enum
import os
import sys
from dataclasses import dataclass
from typing import Callable, Optional

__version__ = "1.0.0"  # the project's version (CMakeLists.txt checks that they agree)

__all__ = [
    "ErrorCode", "Mode", "Emulation", "ModuleInfo", "Config",
    "ZelioError", "IoError", "UsageError", "NoModuleError", "AccessError",
    "AmbiguousError", "VerifyError", "TimeoutError", "BusyError",
    "Module", "list_modules", "load_library",
]


class ErrorCode(enum.IntEnum):
    """The library's error codes; the same numbers as zelioctl's exit status."""

    OK = 0
    IO = 1
    USAGE = 2
    NO_MODULE = 3
    ACCESS = 4
    AMBIGUOUS = 5
    VERIFY = 6
    TIMEOUT = 7
    BUSY = 8


class Mode(enum.IntEnum):
    """What a module is doing, from the product ID it enumerates with."""

    IO = 0       # normal I/O operation (0x261-0x269, 0x281-0x289)
    SETTING = 1  # setting mode (0x260, 0x280)


class Emulation(enum.IntEnum):
    """Faults of emulated modules (see Module.emulate)."""

    HEALTHY = 0
    SILENT = 1
    REFUSE_WRITES = 2
    GARBLED = 3
    TWIN = 4
    LOCKED = 5


@dataclass(frozen=True, repr=False)
class ModuleInfo:
    """One attached module of the family: its device path, USB port ("1-1.4";
    "" when unknown) and serial number ("" when it has none)."""

    product_id: int
    model: str
    mode: Mode
    path: str
    port: str = ""
    serial: str = ""

    def __repr__(self) -> str:
        mode = f"Mode.{self.mode.name}" if isinstance(self.mode, Mode) else repr(self.mode)
        return (f"ModuleInfo(product_id=0x{self.product_id:03x}, model={self.model!r}, mode={mode}, "
                f"path={self.path!r}, port={self.port!r}, serial={self.serial!r})")


@dataclass(frozen=True, repr=False)
class Config:
    """A module's configuration. Mask bit 7 (0x80) is channel 1, bit 0 channel 8."""

    product_id: int
    open_drain_mask: int = 0
    high_mask: int = 0
    input_mask: int = 0

    def __repr__(self) -> str:
        return (f"Config(product_id=0x{self.product_id:03x}, open_drain_mask=0x{self.open_drain_mask:02x}, "
                f"high_mask=0x{self.high_mask:02x}, input_mask=0x{self.input_mask:02x})")


class ZelioError(Exception):
    """A failed library call: ``code`` (an ErrorCode) and the ``reason``."""

    def __init__(self, code: int, reason: str) -> None:
        self.code: int = ErrorCode(code) if code in ErrorCode.__members__.values() else code
        self.reason = reason
        text = _strerror(code)
        super().__init__(f"{text}: {reason}" if reason else text)


class IoError(ZelioError):
    """The module or the system failed to move the report."""


class UsageError(ZelioError, ValueError):
    """A bad argument the library refused; nothing was sent."""


class NoModuleError(ZelioError):
    """No such module is attached."""


class AccessError(ZelioError):
    """The system refused access to the device."""


class AmbiguousError(ZelioError):
    """More than one module has the product ID."""


class VerifyError(ZelioError):
    """The configuration read back differs from the one written."""


class TimeoutError(ZelioError):  # noqa: A001 - the library's own time-out
    """The module did not answer in time."""


class BusyError(ZelioError):
    """Another program kept the module for 3 s; nothing was sent."""


_ERRORS: dict[int, type[ZelioError]] = {
    ErrorCode.IO: IoError,
    ErrorCode.USAGE: UsageError,
    ErrorCode.NO_MODULE: NoModuleError,
    ErrorCode.ACCESS: AccessError,
    ErrorCode.AMBIGUOUS: AmbiguousError,
    ErrorCode.VERIFY: VerifyError,
    ErrorCode.TIMEOUT: TimeoutError,
    ErrorCode.BUSY: BusyError,
}

_PATH_MAX = 512
_PORT_MAX = 64
_SERIAL_MAX = 128
_WRITE_VERIFY = 1


class _ModuleInfo(ctypes.Structure):
    _fields_ = [
        ("product_id", ctypes.c_uint16),
        ("model", ctypes.c_char * 8),
        ("mode", ctypes.c_int),
        ("path", ctypes.c_char * _PATH_MAX),
    ]


class _ModuleDetail(ctypes.Structure):
    _fields_ = [
        ("info", _ModuleInfo),
        ("port", ctypes.c_char * _PORT_MAX),
        ("serial", ctypes.c_char * _SERIAL_MAX),
    ]


class _Config(ctypes.Structure):
    _fields_ = [
        ("product_id", ctypes.c_uint16),
        ("open_drain_mask", ctypes.c_uint8),
        ("high_mask", ctypes.c_uint8),
        ("input_mask", ctypes.c_uint8),
    ]


_library: Optional[ctypes.CDLL] = None


def _library_names() -> list[str]:
    if sys.platform == "win32":
        return ["zelio.dll"]
    return ["libzelio.1.dylib", "libzelio.dylib"] if sys.platform == "darwin" else ["libzelio.so.1"]


def _candidates() -> list[str]:
    names = _library_names()
    here = os.path.dirname(os.path.abspath(__file__))
    found = [os.path.join(here, name) for name in names]
    found = [path for path in found if os.path.exists(path)]
    system = ctypes.util.find_library("zelio")
    if system:
        found.append(system)
    # A bare name lets the loader search folders the user does not control
    # (the current one first of all): Windows gets full paths only.
    return found if sys.platform == "win32" else found + names


def load_library(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads libzelio (once); `path` or ZELIO_LIBRARY name the file to use."""
    global _library
    if _library is not None:
        return _library
    path = path or os.environ.get("ZELIO_LIBRARY")
    candidates = [path] if path else _candidates()
    errors = []
    for candidate in candidates:
        try:
            library = ctypes.CDLL(candidate)
            break
        except OSError as e:
            errors.append(f"{candidate}: {e}")
    else:
        install = ("the libzelio1 package (apt install libzelio1; after `cmake --install` into /usr/local, run "
                   "ldconfig)" if sys.platform.startswith("linux")
                   else "zelio" if sys.platform == "win32" else "libzelio")
        raise OSError(f"the zelio package needs the shared library {_library_names()[0]}, which was not found: "
                      f"install {install}, or set ZELIO_LIBRARY to the library's file (tried "
                      + "; ".join(errors) + ")")

    ctx = ctypes.c_void_p
    u16 = ctypes.c_uint16
    signatures = {
        "zelio_open": [ctypes.POINTER(ctx)],
        "zelio_open_emulated": [ctypes.POINTER(ctx)],
        "zelio_list": [ctx, ctypes.POINTER(_ModuleInfo), ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
        "zelio_select": [ctx, u16],
        "zelio_select_path": [ctx, ctypes.c_char_p],
        "zelio_firmware_version": [ctx, u16, ctypes.POINTER(ctypes.c_uint8)],
        "zelio_read_config": [ctx, u16, ctypes.POINTER(_Config)],
        "zelio_write_config": [ctx, u16, ctypes.POINTER(_Config), ctypes.c_uint],
        "zelio_output": [ctx, u16, ctypes.c_int, ctypes.c_int],
        "zelio_blink": [ctx, u16, ctypes.c_int, ctypes.c_int, ctypes.c_int],
        "zelio_reset": [ctx, u16],
        "zelio_change_id_to_260": [ctx, u16],
        "zelio_emulate": [ctx, u16, ctypes.c_int],
        # Newer functions: an older library lacks them (see _function).
        "zelio_list_details": [ctx, ctypes.POINTER(_ModuleDetail), ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)],
        "zelio_select_port": [ctx, ctypes.c_char_p],
        "zelio_select_serial": [ctx, ctypes.c_char_p],
    }
    for name, argtypes in signatures.items():
        if not hasattr(library, name):
            continue
        function = getattr(library, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int
    library.zelio_close.argtypes = [ctx]
    library.zelio_close.restype = None
    library.zelio_last_error.argtypes = [ctx]
    library.zelio_last_error.restype = ctypes.c_char_p
    library.zelio_strerror.argtypes = [ctypes.c_int]
    library.zelio_strerror.restype = ctypes.c_char_p
    _library = library
    return library


def _function(lib: ctypes.CDLL, name: str) -> Callable[..., int]:
    """A function of the library; OSError naming it when the library is older."""
    if not hasattr(lib, name):
        raise OSError(f"the shared library {lib._name} is older than this package: it has no {name}")
    function: Callable[..., int] = getattr(lib, name)
    return function


def _strerror(code: int) -> str:
    text: bytes = load_library().zelio_strerror(code)
    return text.decode("utf-8", "replace")


def _text(what: str, value: object) -> bytes:
    """`value` as the library takes text: UTF-8 without NUL characters."""
    if not isinstance(value, str):
        raise TypeError(f"{what} is a str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{what} holds a NUL character: {value!r}")
    try:
        return value.encode("utf-8")
    except UnicodeEncodeError:
        raise ValueError(f"{what} is not valid Unicode text (a lone surrogate?): {value!r}") from None


def _in_range(what: str, value: object, low: int, high: int, hex_range: bool = False) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
        shown = f"0x{low:X}-0x{high:X}" if hex_range else f"{low}-{high}"
        raise ValueError(f"{what} is {shown}, not {value!r}")
    return value


def _product_id(value: Optional[int]) -> int:
    return _in_range("a product ID", value, 1, 0xFFFF, hex_range=True)


def _mask(value: int) -> int:
    return _in_range("a mask", value, 0, 0xFF, hex_range=True)


def _channel(value: int) -> int:
    return _in_range("a channel", value, 1, 8)


def _tenths(value: int) -> int:
    return _in_range("a blink time in tenths of a second", value, 0, 15)


class Module:
    """One module, chosen by product ID, device path, USB port or serial number,
    on a context of its own.

    ``Module(0x280)`` talks to the module enumerating as 0x280; when two
    modules share an ID, choose by ``serial="..."`` or ``port="1-1.4"`` (as
    :func:`list_modules` shows them; they stay the same when the module comes
    back under another ID) or ``path="..."``. Give exactly one of the four.
    ``emulated=True`` works on the library's emulated modules (a ZEL280 at
    0x280 in setting mode, port 1-1.1, serial number EMU0001; a ZEL260 at
    0x261, port 1-1.2, serial number EMU0002) instead of the attached ones.
    Use it as a context manager, or call close().
    """

    def __init__(self, product_id: Optional[int] = None, *, path: Optional[str] = None,
                 serial: Optional[str] = None, port: Optional[str] = None, emulated: bool = False) -> None:
        chosen = [(what, value) for what, value in
                  (("product_id", product_id), ("path", path), ("serial", serial), ("port", port)) if value is not None]
        if len(chosen) != 1:
            raise ValueError("give one of a product ID, path, serial or port")
        what, value = chosen[0]
        selector = None if what == "product_id" else (f"zelio_select_{what}", _text(f"a {what}", value))
        self._lib = load_library()
        self._ctx = ctypes.c_void_p()
        opener = self._lib.zelio_open_emulated if emulated else self._lib.zelio_open
        code = opener(ctypes.byref(self._ctx))
        if code != ErrorCode.OK:
            raise _ERRORS.get(code, ZelioError)(code, "cannot open a context")
        try:
            if selector is not None:
                self._check(_function(self._lib, selector[0])(self._ctx, selector[1]))
            else:
                self._check(self._lib.zelio_select(self._ctx, _product_id(product_id)))
        except BaseException:
            self.close()
            raise

    # -- lifetime -----------------------------------------------------------
    def close(self) -> None:
        """Closes the context and the devices it holds; later calls fail."""
        if self._ctx:
            self._lib.zelio_close(self._ctx)
            self._ctx = ctypes.c_void_p()

    def __enter__(self) -> "Module":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_ctx", None) and getattr(self, "_lib", None):
            self.close()

    def _check(self, code: int) -> None:
        if code == ErrorCode.OK:
            return
        reason: bytes = self._lib.zelio_last_error(self._ctx)
        raise _ERRORS.get(code, ZelioError)(code, reason.decode("utf-8", "replace"))

    def _context(self) -> ctypes.c_void_p:
        if not self._ctx:
            raise ValueError("the module is closed")
        return self._ctx

    # -- the context's devices ---------------------------------------------
    def list_modules(self) -> list[ModuleInfo]:
        """Every attached module of the family, as this module's context sees them."""
        return _list(self._lib, self._context(), self._check)

    # -- commands to the module --------------------------------------------
    def firmware_version(self) -> int:
        """The firmware version byte: 0x12 is version 1.2."""
        version = ctypes.c_uint8()
        self._check(self._lib.zelio_firmware_version(self._context(), 0, ctypes.byref(version)))
        return version.value

    def read_config(self) -> Config:
        """The configuration stored in the module (setting mode)."""
        raw = _Config()
        self._check(self._lib.zelio_read_config(self._context(), 0, ctypes.byref(raw)))
        return Config(raw.product_id, raw.open_drain_mask, raw.high_mask, raw.input_mask)

    def write_config(self, config: Config, verify: bool = True) -> None:
        """Stores `config` in the module; with `verify` reads it back and compares."""
        if not isinstance(config, Config):
            raise TypeError(f"a configuration is a zelio.Config, not {type(config).__name__}")
        raw = _Config(_product_id(config.product_id), _mask(config.open_drain_mask), _mask(config.high_mask),
                      _mask(config.input_mask))
        flags = _WRITE_VERIFY if verify else 0
        self._check(self._lib.zelio_write_config(self._context(), 0, ctypes.byref(raw), flags))

    def output(self, channel: int, high: bool) -> None:
        """Drives output `channel` (1-8) steady high or low."""
        self._check(self._lib.zelio_output(self._context(), 0, _channel(channel), 1 if high else 0))

    def blink(self, channel: int, high_tenths: int = 5, low_tenths: int = 5) -> None:
        """Blinks output `channel` (1-8): high and low times in tenths of a second (0-15)."""
        self._check(self._lib.zelio_blink(self._context(), 0, _channel(channel), _tenths(high_tenths),
                                              _tenths(low_tenths)))

    def reset(self) -> None:
        """Leaves setting mode; the module re-enumerates under its configured ID."""
        self._check(self._lib.zelio_reset(self._context(), 0))

    def change_id_to_260(self) -> None:
        """Sends a ZEL260 at 0x261-0x269 back to setting mode as 0x260."""
        self._check(self._lib.zelio_change_id_to_260(self._context(), 0))

    def emulate(self, what: Emulation) -> None:
        """Gives this emulated module a fault (or HEALTHY to mend it)."""
        self._check(self._lib.zelio_emulate(self._context(), 0, int(Emulation(what))))


def _list(lib: ctypes.CDLL, ctx: ctypes.c_void_p, check: Callable[[int], None]) -> list[ModuleInfo]:
    # A library older than this package lists no ports and serial numbers.
    details = hasattr(lib, "zelio_list_details")
    entry, call = (_ModuleDetail, lib.zelio_list_details) if details else (_ModuleInfo, lib.zelio_list)
    count = ctypes.c_size_t()
    check(call(ctx, None, 0, ctypes.byref(count)))
    while True:
        entries = (entry * max(count.value, 1))()
        capacity = len(entries)
        check(call(ctx, entries, capacity, ctypes.byref(count)))
        if count.value <= capacity:
            break  # else a module came in between: ask again

    def text(raw: bytes) -> str:
        return raw.decode("utf-8", "replace")

    found = []
    for e in entries[:count.value]:
        i = e.info if details else e
        port, serial = (text(e.port), text(e.serial)) if details else ("", "")
        found.append(ModuleInfo(i.product_id, text(i.model), Mode(i.mode), text(i.path), port, serial))
    return found


def list_modules(emulated: bool = False) -> list[ModuleInfo]:
    """Every attached module of the family (or the emulated ones)."""
    lib = load_library()
    ctx = ctypes.c_void_p()
    code = (lib.zelio_open_emulated if emulated else lib.zelio_open)(ctypes.byref(ctx))
    if code != ErrorCode.OK:
        raise _ERRORS.get(code, ZelioError)(code, "cannot open a context")

    def check(code: int) -> None:
        if code != ErrorCode.OK:
            reason: bytes = lib.zelio_last_error(ctx)
            raise _ERRORS.get(code, ZelioError)(code, reason.decode("utf-8", "replace"))

    try:
        return _list(lib, ctx, check)
    finally:
        lib.zelio_close(ctx)
