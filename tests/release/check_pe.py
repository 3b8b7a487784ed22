#!/usr/bin/env python3
"""Reads a Windows program as Windows would and checks what a release must be: machine,
GUI subsystem, system-only imports, the manifest (byte for byte, the UTF-8 code page) and
version resources, the icon, size."""
import struct
import sys

MACHINES = {"i386": 0x14C, "amd64": 0x8664}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "msvcrt.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for _, size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address %#x is in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        rva, _ = self.directories[1]
        names, at = [], self.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, at)
            if not any(descriptor):
                return names
            names.append(self.string(descriptor[3]))
            at += 20

    def resources(self):
        """Every resource as {(type, id, language): bytes}, numeric identifiers only."""
        rva, _ = self.directories[2]
        if not rva:
            return {}
        base = self.offset(rva)

        def entries(at):
            named, numbered = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                yield key, target

        found = {}
        for kind, types in entries(0):
            for ident, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found[(kind, ident, language)] = self.data[start:start + size]
        return found


def version_strings(block):
    """The StringFileInfo values of a version resource, by name."""
    text = block.decode("utf-16-le", errors="replace")
    values = {}
    for name in ("FileVersion", "ProductVersion", "ProductName", "FileDescription"):
        at = text.find(name + "\0")
        if at >= 0:
            rest = text[at + len(name) + 1:].lstrip("\0")
            values[name] = rest[:rest.index("\0")]
    return values


def fixed_versions(block):
    """The numeric file and product versions of VS_FIXEDFILEINFO, as "a.b.c.d"."""
    at = block.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None, None
    ms, ls, pms, pls = struct.unpack_from("<IIII", block, at + 8)
    spell = lambda high, low: "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    return spell(ms, ls), spell(pms, pls)


def check(path, machine, manifest_path, max_size):
    failures = []

    def expect(condition, what):
        print(("ok   " if condition else "FAIL ") + what)
        if not condition:
            failures.append(what)

    data = open(path, "rb").read()
    image = Image(data)
    expect(image.machine == MACHINES[machine], "machine is %s" % machine)
    expect(image.subsystem == 2, "GUI subsystem")
    imports = {name.lower() for name in image.imports()}
    expect(imports == SYSTEM_DLLS, "imports only the system's DLLs: %s" % sorted(imports))
    resources = image.resources()
    manifest = resources.get((RT_MANIFEST, 1, 1033))
    expect(manifest is not None, "manifest: type 24, identifier 1, language 1033")
    expected = open(manifest_path, "rb").read()
    if manifest is not None:
        expect(manifest == expected, "manifest is %s (%d bytes)" % (manifest_path, len(expected)))
        text = manifest.decode("utf-8")
        expect(text.count("\r\n") == text.count("\n"), "manifest lines end in CR LF")
        architecture = "X86" if machine == "i386" else "amd64"
        expect(text.count('processorArchitecture="%s"' % architecture) == 2,
               "both processorArchitecture attributes are %s" % architecture)
        for needed in ('name="CompanyName.ProductName.YourApplication"', 'version="1.0.0.0"',
                       "<description>Your application description here.</description>",
                       'name="Microsoft.Windows.Common-Controls"', 'version="6.0.0.0"',
                       'publicKeyToken="6595b64144ccf1df"', 'language="*"'):
            expect(needed in text, "manifest declares " + needed)
        # Every ANSI call of the process then speaks UTF-8 (Windows 10 1903 and later).
        expect('<application xmlns="urn:schemas-microsoft-com:asm.v3">' in text and
               '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">'
               'UTF-8</activeCodePage>' in text, "manifest asks for the UTF-8 active code page")
        # Sharp at every scale: per monitor (version 2 where Windows has it), else per system.
        expect('<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm'
               '</dpiAware>' in text and
               '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">'
               'PerMonitorV2, PerMonitor</dpiAwareness>' in text, "manifest declares DPI awareness")
    groups = [block for (kind, ident, _), block in resources.items()
              if kind == RT_GROUP_ICON and ident == 1]
    expect(len(groups) == 1, "an icon, identifier 1")
    if groups:
        count = struct.unpack_from("<H", groups[0], 4)[0]
        sides = {groups[0][6 + 14 * i] or 256 for i in range(count)}
        expect({16, 24, 32, 48, 256} <= sides, "in the sizes Windows asks for: %s" % sorted(sides))
    versions = [block for (kind, _, _), block in resources.items() if kind == RT_VERSION]
    expect(len(versions) == 1, "one version resource")
    if versions:
        strings = version_strings(versions[0])
        expect(strings.get("FileVersion") == "0.01", "file version 0.01: %s" % strings.get("FileVersion"))
        expect(strings.get("ProductVersion") == "0.01", "product version 0.01")
        expect(strings.get("ProductName") == "Chronotree", "product name Chronotree")
        # 0.01 is the first hundredth: 0.0.1.0, so that 0.02 (0.0.2.0) and 0.1 (0.1.0.0)
        # compare as their texts do.
        numeric = fixed_versions(versions[0])
        expect(numeric == ("0.0.1.0", "0.0.1.0"), "numeric versions 0.0.1.0: %s" % (numeric,))
    if max_size:
        expect(len(data) <= max_size, "size %d bytes is at most %d" % (len(data), max_size))
    return failures


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit("usage: check_pe.py PROGRAM.exe i386|amd64 MANIFEST [MAX_BYTES]")
    failed = check(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) == 5 else 0)
    sys.exit(1 if failed else 0)
