#!/usr/bin/env python3
"""The options the documents name against the option table, both ways.

usage: option_docs.py OPTION_LISTS MANUAL_PAGE USING_TXT README

Each document's option section (the manual page's OPTIONS, USING.txt's lines from "For
scripts" to the scheduled runs, the README's "Options" section) must name every option of the
table by its long name and by its letter, and name no option the table lacks."""
import re
import subprocess
import sys

lister, manual, using, readme = sys.argv[1:5]
rows = [line.split("\t") for line in
        subprocess.run([lister, "table"], capture_output=True, text=True,
                       check=True).stdout.splitlines()]
names = {row[1] for row in rows}
letters = {row[0] for row in rows if row[0] != "-"}


def section(text, start, end):
    begin = re.search(start, text, re.M)
    if not begin:
        return None
    stop = re.compile(end, re.M).search(text, begin.end())
    return text[begin.start():stop.start() if stop else len(text)]


def manual_text(path):
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-")
    return section(text, r"^\.SH OPTIONS", r"^\.SH ")


def named(text):
    """The long names and the letters a text names: --name, --, -x (not inside a word)."""
    longs = set(re.findall(r"(?<![\w-])--([a-z][a-z-]*[a-z])", text))
    if re.search(r"(?<![\w-])--(?![\w-])", text):
        longs.add("--")
    shorts = set(re.findall(r"(?<![\w/-])-([a-zA-Z])(?![\w-])", text))
    return longs, {letter.lower() for letter in shorts}


documents = {
    "the manual page": manual_text(manual),
    "USING.txt": section(open(using, encoding="utf-8").read(), r"^For scripts",
                         r"^(Keeping dates right|Chronotree is free software)"),
    "the README": section(open(readme, encoding="utf-8").read(), r"^## Options", r"^## "),
}
failed = passed = 0
for document, text in documents.items():
    before = failed
    if text is None:
        print("FAIL: %s has no option section" % document)
        failed += 1
        continue
    longs, shorts = named(text)
    for missing in sorted(names - longs):
        print("FAIL: %s does not name --%s" % (document, missing.strip("-")))
        failed += 1
    for missing in sorted(letters - shorts):
        print("FAIL: %s does not name -%s" % (document, missing))
        failed += 1
    for unknown in sorted(longs - names):
        print("FAIL: %s names --%s, which the table lacks" % (document, unknown))
        failed += 1
    for unknown in sorted(shorts - letters):
        print("FAIL: %s names -%s, which the table lacks" % (document, unknown))
        failed += 1
    passed += failed == before
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
