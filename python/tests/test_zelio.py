"""The Python package on the library's emulated modules (ZELIO_LIBRARY names
the library under test)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest.mock

import zelio
from zelio import Config, Emulation, ErrorCode, Mode


class ListTest(unittest.TestCase):
    def test_emulated_modules(self):
        modules = zelio.list_modules(emulated=True)
        self.assertEqual([(m.product_id, m.model, m.mode, m.port, m.serial) for m in modules],
                         [(0x280, "ZEL280", Mode.SETTING, "1-1.1", "EMU0001"), (0x261, "ZEL260", Mode.IO, "1-1.2", "EMU0002")])
        self.assertNotEqual(modules[0].path, modules[1].path)
        self.assertIn("ModuleInfo(product_id=0x261, model='ZEL260', mode=Mode.IO, path=", repr(modules[1]))

    def test_selections(self):  # the two modules told apart by their firmware versions
        errors = {"no-module": zelio.NoModuleError, "usage": zelio.UsageError, "ambiguous": zelio.AmbiguousError}
        with open(os.path.join(os.path.dirname(__file__), "../../tests/support/selections.tsv"), encoding="utf-8") as table:
            for by, value, expect in (line.rstrip("\r\n").split("\t") for line in table if line[0] != "#"):
                with self.subTest(by=by, value=value):
                    if expect in errors:
                        self.assertRaises(errors[expect], zelio.Module, emulated=True, **{by: value})
                    else:
                        with zelio.Module(emulated=True, **{by: value}) as module:
                            self.assertEqual(module.firmware_version(), {"0x280": 0x12, "0x261": 0x10}[expect])


class LoadTest(unittest.TestCase):
    def test_library_next_to_the_package(self):
        # As the Windows install ships it: the library inside the package.
        library = os.environ["ZELIO_LIBRARY"]
        with tempfile.TemporaryDirectory() as tmp:
            package = os.path.join(tmp, "zelio")
            shutil.copytree(os.path.dirname(zelio.__file__), package)
            name = "zelio.dll" if sys.platform == "win32" else "libzelio.so.1"
            shutil.copy(library, os.path.join(package, name))
            env = {k: v for k, v in os.environ.items() if k != "ZELIO_LIBRARY"}
            env["PYTHONPATH"] = tmp
            code = ("import zelio; print(len(zelio.list_modules(emulated=True)), "
                    "zelio.load_library()._name)")
            out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                                 check=True).stdout.split()
        self.assertEqual(out, ["2", os.path.join(package, name)])
        with unittest.mock.patch.object(sys, "platform", "win32"):  # never a bare name Windows would search for
            self.assertNotIn("zelio.dll", zelio._candidates())


class ModuleTest(unittest.TestCase):
    def test_configure_and_reset(self):
        with zelio.Module(0x280, emulated=True) as module:
            self.assertEqual(module.firmware_version(), 0x12)
            self.assertEqual(repr(module.read_config()),
                             "Config(product_id=0x281, open_drain_mask=0x00, high_mask=0x00, input_mask=0x00)")
            wanted = Config(0x284, open_drain_mask=0x40, high_mask=0x81, input_mask=0x01)
            module.write_config(wanted)
            self.assertEqual(module.read_config(), wanted)
            module.output(3, True)
            module.blink(3, 5, 5)
            module.reset()
            ids = [(m.product_id, m.mode) for m in module.list_modules()]
            self.assertIn((0x284, Mode.IO), ids)
        with self.assertRaises(ValueError):
            module.firmware_version()  # closed

    def test_change_id_by_path(self):
        path = zelio.list_modules(emulated=True)[1].path
        with zelio.Module(path=path, emulated=True) as module:
            module.change_id_to_260()
            self.assertIn(0x260, [m.product_id for m in module.list_modules()])

    def test_arguments(self):
        for kwargs, error in [({}, ValueError), ({"path": "emu://0", "serial": "EMU0001"}, ValueError),
                              ({"path": "emu://0\x00junk"}, ValueError), ({"serial": "\udc80"}, ValueError),
                              ({"path": 123}, TypeError), ({"port": b"1-1.1"}, TypeError)]:
            self.assertRaises(error, zelio.Module, emulated=True, **kwargs)
        with zelio.Module(0x280, emulated=True) as module:
            # Out of range before ctypes would cut them down (2**32 + 3 to 3).
            for call, args, allowed in [(module.blink, (9,), "1-8"), (module.output, (2**32 + 3, True), "1-8"),
                                  (module.blink, (3, 16), "0-15"), (module.blink, (3, 5, -1), "0-15"),
                                  (module.write_config, (Config(0x281, high_mask=0x1FF),), "0x0-0xFF"),
                                  (module.write_config, (Config(0x10281),), "0x1-0xFFFF"), (module.emulate, (9,), "")]:
                self.assertRaisesRegex(ValueError, allowed, call, *args)
            self.assertRaises(TypeError, module.write_config, (0x281, 0, 0, 0))
            self.assertEqual(module.read_config(), Config(0x281, 0, 0, 0))
            with self.assertRaises(zelio.UsageError) as caught:
                module.write_config(Config(0x263))  # a ZEL260's ID
            self.assertEqual(caught.exception.code, ErrorCode.USAGE)


class ErrorTest(unittest.TestCase):
    def test_no_module(self):
        with self.assertRaises(zelio.NoModuleError) as caught:
            zelio.Module(0x289, emulated=True)
        self.assertEqual(caught.exception.code, ErrorCode.NO_MODULE)
        self.assertIn("0x289", caught.exception.reason)
        self.assertIsInstance(caught.exception, zelio.ZelioError)
        with unittest.mock.patch.dict(os.environ, ZELIO_LIBRARY="/no/lib"), unittest.mock.patch.object(zelio, "_library", None):
            self.assertRaisesRegex(OSError, "needs the shared library libzelio.so.1.*the libzelio1 package", zelio.load_library)

    def test_faults(self):
        with zelio.Module(0x280, emulated=True) as module:
            module.emulate(Emulation.GARBLED)
            with self.assertRaises(zelio.VerifyError):
                module.write_config(Config(0x282))
            module.write_config(Config(0x282), verify=False)
            module.emulate(Emulation.SILENT)
            with self.assertRaises(zelio.TimeoutError) as caught:
                module.firmware_version()
            self.assertEqual(caught.exception.code, ErrorCode.TIMEOUT)
            module.emulate(Emulation.HEALTHY)
            self.assertEqual(module.firmware_version(), 0x12)
            module.emulate(Emulation.TWIN)
            with self.assertRaises(zelio.AmbiguousError):
                module.reset()


if __name__ == "__main__":
    unittest.main()
