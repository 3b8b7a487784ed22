#!/usr/bin/env python3
"""The winget and Scoop manifests release.sh wrote, against the official schemas kept in
schemas/ (see schemas/NOTICE), and their hashes against SHA256SUMS.

usage: check_manifests.py DIST (with Debian's python3-jsonschema and python3-yaml)"""
import glob
import json
import os
import sys

import jsonschema
import yaml

dist = sys.argv[1]
schemas = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas")
sums = {}
for line in open(os.path.join(dist, "SHA256SUMS")):
    digest, name = line.split()
    sums[name.lstrip("*")] = digest.lower()
passed = failed = 0


def check(description, condition):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL: " + description)


def valid(description, document, schema_name, validator):
    schema = json.load(open(os.path.join(schemas, schema_name), encoding="utf-8"))
    errors = list(validator(schema, format_checker=jsonschema.FormatChecker())
                  .iter_errors(document))
    for error in errors:
        print("  %s: %s at %s" % (description, error.message, list(error.absolute_path)))
    check(description + " is valid against " + schema_name, not errors)


winget = glob.glob(os.path.join(dist, "winget", "manifests", "c", "*", "*", "*"))
check("one winget version folder, as manifests/c/PUBLISHER/PACKAGE/VERSION", len(winget) == 1)
kinds = {"version": ("manifest.version.1.6.0.json", jsonschema.Draft7Validator),
         "installer": ("manifest.installer.1.6.0.json", jsonschema.Draft202012Validator),
         "defaultLocale": ("manifest.defaultLocale.1.6.0.json",
                           jsonschema.Draft202012Validator)}
for path in sorted(glob.glob(os.path.join(winget[0] if winget else dist, "*.yaml"))):
    document = yaml.safe_load(open(path, encoding="utf-8"))
    kind = document.get("ManifestType")
    check(os.path.basename(path) + " is a manifest of a known type", kind in kinds)
    if kind not in kinds:
        continue
    valid(os.path.basename(path), document, *kinds.pop(kind))
    check(os.path.basename(path) + ": the version is the string 0.01",
          document["PackageVersion"] == "0.01")
    if kind == "installer":
        for installer in document["Installers"]:
            name = installer["InstallerUrl"].rsplit("/", 1)[1]
            check("winget %s: the hash of %s is SHA256SUMS's" % (installer["Architecture"], name),
                  installer["InstallerSha256"].lower() == sums.get(name))
        check("winget: x86 and x64",
              sorted(i["Architecture"] for i in document["Installers"]) == ["x64", "x86"])
check("winget: the three manifests", not kinds)

scoop = json.load(open(os.path.join(dist, "scoop", "chronotree.json"), encoding="utf-8"))
valid("chronotree.json", scoop, "scoop.schema.json", jsonschema.Draft7Validator)
for bits, entry in sorted(scoop["architecture"].items()):
    name = entry["url"].rsplit("/", 1)[1]
    check("scoop %s: the hash of %s is SHA256SUMS's" % (bits, name), entry["hash"] == sums.get(name))
for bits, entry in scoop["autoupdate"]["architecture"].items():
    check("scoop %s: autoupdate names $version" % bits, "$version" in entry["url"])
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
