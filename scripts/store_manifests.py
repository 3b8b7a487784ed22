#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of a release from the zips release.sh just built,
so that their hashes are always those of the real files.

usage: store_manifests.py DIST VERSION URL_BASE

URL_BASE is the address of the folder that will hold the release's files; each zip's
address is URL_BASE/NAME. Scoop's autoupdate takes the version in it for $version.
Writes DIST/winget/manifests/c/ChronotreeDevelopers/Chronotree/VERSION/ (the version,
installer and default-locale manifests, laid out as the community repository keeps them)
and DIST/scoop/chronotree.json."""
import hashlib
import json
import os
import sys

dist, version, url_base = sys.argv[1:4]
url_base = url_base.rstrip("/")
PUBLISHER, PACKAGE = "ChronotreeDevelopers", "Chronotree"
IDENTIFIER = PUBLISHER + "." + PACKAGE
SHORT = "Sets every folder's date to the date of the newest file inside it."
LONG = ("Chronotree walks every folder below a folder you name and sets its date to that of "
        "the newest file anywhere inside it, so that folders sort by what they hold rather "
        "than by when they were copied. A window for a folder at a time, and a command line "
        "for scripts, with a dry run and an undo.")
HOMEPAGE = url_base.rsplit("/releases/", 1)[0] if "/releases/" in url_base else url_base
ARCHITECTURES = {"win32": ("x86", "32bit"), "win64": ("x64", "64bit")}


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def zip_name(windows, release=version):
    return "chronotree-%s-%s.zip" % (release, windows)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(text)


def yaml_string(text):
    """A YAML scalar that stays a string: "0.01" would otherwise be a number."""
    return json.dumps(text)


def winget():
    folder = os.path.join(dist, "winget", "manifests", PUBLISHER[0].lower(), PUBLISHER, PACKAGE,
                          version)
    head = "# Made by scripts/release.sh from the zips it built.\n"
    common = "PackageIdentifier: %s\nPackageVersion: %s\n" % (IDENTIFIER, yaml_string(version))
    tail = "ManifestVersion: 1.6.0\n"
    schema = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.1.6.0.schema.json\n"
    write(os.path.join(folder, IDENTIFIER + ".yaml"),
          head + schema % "version" + common + "DefaultLocale: en-US\nManifestType: version\n"
          + tail)
    installers = ""
    for windows, (architecture, _) in sorted(ARCHITECTURES.items()):
        name = zip_name(windows)
        installers += ("  - Architecture: %s\n"
                       "    InstallerUrl: %s/%s\n"
                       "    InstallerSha256: %s\n"
                       "    NestedInstallerFiles:\n"
                       "      - RelativeFilePath: chronotree-%s-%s\\chronotree.exe\n"
                       "        PortableCommandAlias: chronotree\n"
                       % (architecture, url_base, name, sha256(os.path.join(dist, name)).upper(),
                          version, windows))
    write(os.path.join(folder, IDENTIFIER + ".installer.yaml"),
          head + schema % "installer" + common + "InstallerType: zip\n"
          "NestedInstallerType: portable\nInstallers:\n" + installers
          + "ManifestType: installer\n" + tail)
    write(os.path.join(folder, IDENTIFIER + ".locale.en-US.yaml"),
          head + schema % "defaultLocale" + common
          + "PackageLocale: en-US\nPublisher: The Chronotree developers\nPackageName: Chronotree\n"
          "PackageUrl: %s\nLicense: MIT\nShortDescription: %s\nDescription: %s\n"
          "Tags:\n  - folders\n  - dates\n  - timestamps\n  - file-management\n"
          "ManifestType: defaultLocale\n" % (HOMEPAGE, yaml_string(SHORT), yaml_string(LONG))
          + tail)


def scoop():
    def architecture(windows, release):
        return {"url": "%s/%s" % (url_base.replace(version, release), zip_name(windows, release)),
                "extract_dir": "chronotree-%s-%s" % (release, windows)}

    manifest = {
        "version": version,
        "description": SHORT,
        "homepage": HOMEPAGE,
        "license": "MIT",
        "architecture": {},
        "bin": "chronotree.exe",
        "shortcuts": [["chronotree.exe", "Chronotree"]],
        "checkver": {"url": HOMEPAGE, "regex": r"chronotree-([\d.]+)-win64\.zip"},
        "autoupdate": {"architecture": {}},
    }
    for windows, (_, bits) in sorted(ARCHITECTURES.items()):
        entry = architecture(windows, version)
        entry["hash"] = sha256(os.path.join(dist, zip_name(windows)))
        manifest["architecture"][bits] = entry
        manifest["autoupdate"]["architecture"][bits] = architecture(windows, "$version")
    write(os.path.join(dist, "scoop", "chronotree.json"), json.dumps(manifest, indent=4) + "\n")


winget()
scoop()
