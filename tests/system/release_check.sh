#!/usr/bin/env bash
# Makes the release packages and runs each one unpacked in a scratch folder: the Linux
# command directly, the 64-bit Windows program under Wine; the 32-bit program is checked
# as a file (its runs belong to the 32-bit suite).
# usage: release_check.sh WORKDIR
set -u
work=$1
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
. "$here/lib.sh"
rm -rf "$work" && mkdir -p "$work"

SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 1767225600) \
  bash "$source_dir/scripts/release.sh" >"$work/release.log" 2>&1
check "the release command succeeds" [ $? -eq 0 ]
dist=$source_dir/dist
for package in chronotree-0.01-win32.zip chronotree-0.01-win64.zip \
  chronotree-0.01-linux-x86_64.tar.gz chronotree_0.01-1_amd64.deb; do
  check "dist/$package is made" [ -s "$dist/$package" ]
done
# The winget and Scoop manifests, against the official schemas, their hashes SHA256SUMS's.
/usr/bin/python3 "$here/../release/check_manifests.py" "$dist" >"$work/manifests.out" 2>&1
check "the store manifests are valid and name the zips' hashes" [ $? -eq 0 ]
cat "$work/manifests.out"

unpacked=$work/unpacked
mkdir -p "$unpacked"
(cd "$unpacked" && tar xzf "$dist/chronotree-0.01-linux-x86_64.tar.gz" &&
  unzip -q "$dist/chronotree-0.01-win32.zip" && unzip -q "$dist/chronotree-0.01-win64.zip")
for folder in linux-x86_64 win32 win64; do
  check "$folder package carries the usage text" [ -s "$unpacked/chronotree-0.01-$folder/USING.txt" ]
  check "$folder package carries the licence" \
    grep -q "^Copyright (c) 2026 The Chronotree developers" "$unpacked/chronotree-0.01-$folder/LICENSE"
done
crlf() { ! grep -qv $'\r$' "$1"; } # every line ends in CR LF
for folder in win32 win64; do
  for text in USING.txt explorer-add.cmd explorer-remove.cmd; do
    check "$folder: $text has CR LF line ends" crlf "$unpacked/chronotree-0.01-$folder/$text"
  done
done
check "the Linux package's texts keep LF" \
  grep -qv $'\r$' "$unpacked/chronotree-0.01-linux-x86_64/USING.txt"
(cd "$dist" && sha256sum -c SHA256SUMS >"$work/sums.out" 2>&1)
check "sha256sum -c SHA256SUMS" [ "$?:$(grep -c ': OK$' "$work/sums.out")" = "0:4" ]
check "the tar's entries belong to no one" [ "$(tar tvzf "$dist/chronotree-0.01-linux-x86_64.tar.gz" |
  awk '{print $2}' | sort -u)" = "0/0" ]

# Reproducible: two clean copies of the sources, at other paths, give the very same bytes
# as this build did.
epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 1767225600)
for copy in first-copy second; do
  mkdir -p "$work/$copy"
  (cd "$source_dir" && git ls-files -z | xargs -0 cp --parents -t "$work/$copy")
  (cd "$work/$copy" && SOURCE_DATE_EPOCH=$epoch bash scripts/release.sh >"$work/$copy.log" 2>&1)
  check "a clean copy ($copy) makes its packages" [ -s "$work/$copy/dist/SHA256SUMS" ]
done
check "two clean builds give identical packages" \
  cmp -s "$work/first-copy/dist/SHA256SUMS" "$work/second/dist/SHA256SUMS"
check "and the same as the build the tests ran on" \
  cmp -s "$work/first-copy/dist/SHA256SUMS" "$dist/SHA256SUMS"

# The Debian package: lintian clean at its default level (its overrides say why), then
# installed, used and removed as a user would.
deb=$dist/chronotree_0.01-1_amd64.deb
lintian "$deb" >"$work/lintian.out" 2>&1
check "lintian finds nothing" [ "$?:$(grep -c '^[EW]:' "$work/lintian.out")" = "0:0" ]
check "the package's files belong to root" \
  [ "$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)" = root/root ]
check "its manual page has no time stamp" \
  [ "$(dpkg-deb --fsys-tarfile "$deb" | tar xO ./usr/share/man/man1/chronotree.1.gz |
    od -An -tx1 -j4 -N4 | tr -d ' ')" = 00000000 ]
completion_found() { # a fresh bash, with bash-completion, finds the completion by itself
  # (its loader returns 124 once it has loaded one, so that the Tab is tried again)
  bash --norc -c '. /usr/share/bash-completion/bash_completion
    _completion_loader chronotree; complete -p chronotree' 2>/dev/null | grep -q _chronotree
}
if [ "$(id -u)" = 0 ] && ! dpkg -s chronotree >/dev/null 2>&1; then
  dpkg -i "$deb" >"$work/dpkg-i.out" 2>&1
  check "dpkg -i installs it" [ $? -eq 0 ]
  check "chronotree --version" [ "$(chronotree --version 2>&1)" = "chronotree 0.01" ]
  check "man -w chronotree" [ "$(man -w chronotree 2>&1)" = /usr/share/man/man1/chronotree.1.gz ]
  check "bash finds its completion" completion_found
  dpkg-deb -c "$deb" | awk '!/\/$/ {print substr($6, 2)}' >"$work/deb-files"
  dpkg -r chronotree >"$work/dpkg-r.out" 2>&1
  check "dpkg -r removes it" [ $? -eq 0 ]
  left() { while read -r file; do [ ! -e "$file" ] || echo "$file"; done <"$work/deb-files"; }
  check "and leaves no file behind" [ -z "$(left)" ]
fi

linux=$unpacked/chronotree-0.01-linux-x86_64
static_program() { # no shared library and no dynamic loader, so any glibc version will do
  ! readelf -d "$1" | grep -q NEEDED && ! readelf -l "$1" | grep -q INTERP
}
check "the Linux program needs no shared library (runs on older systems)" \
  static_program "$linux/chronotree"
check "the Linux package carries the manual page" [ -s "$linux/chronotree.1" ]
LC_ALL=C MANWIDTH=80 man -l "$linux/chronotree.1" >"$work/man.txt" 2>"$work/man.err"
check "the manual page renders" [ $? -eq 0 ]
check "without complaint" empty "$work/man.err"
LC_ALL=C MANWIDTH=80 man --warnings -l "$linux/chronotree.1" >/dev/null 2>"$work/man.warn"
check "and without a warning from troff" empty "$work/man.warn"
# A text line that begins with a dot is a request to troff, which drops it: every name of
# the -i lists must still be on the page.
for name in Thumbs.db .DS_Store @eaDir .@__thumb .AppleDouble .Spotlight-V100 .fseventsd \
  .Trashes .TemporaryItems '$RECYCLE.BIN' 'System Volume' .Trash-; do
  check "the manual page names $name" grep -qF -- "$name" "$work/man.txt"
done
for option in -a -s -i -n -v --; do
  check "the manual page names $option" grep -qE -- "^ +$option( |$)" "$work/man.txt"
done
cmake --install "$source_dir/build/host" --prefix "$work/prefix" >"$work/install.log" 2>&1
check "cmake --install puts the program in bin" [ -x "$work/prefix/bin/chronotree" ]
check "and the manual page in share/man/man1" [ -s "$work/prefix/share/man/man1/chronotree.1" ]

build_tree "$work/linux tree"
"$unpacked/chronotree-0.01-linux-x86_64/chronotree" -a "$work/linux tree" >"$work/linux.out" \
  2>"$work/linux.err"
check "the Linux package runs" [ "$(cat "$work/linux.out")" = "Folder dates changed: 7 out of 10" ]
check_tree "Linux package" "$work/linux tree"

python3 "$here/../release/check_pe.py" "$unpacked/chronotree-0.01-win32/chronotree.exe" i386 \
  "$source_dir/resources/chronotree-x86.manifest" 98304 >"$work/pe32.out"
check "the 32-bit package holds the 32-bit program" [ $? -eq 0 ]

wine_start "$work"
build_tree "$work/windows tree"
wine_run "$work/win64.out" "$unpacked/chronotree-0.01-win64/chronotree.exe" -a -s \
  "$(winpath "$work/windows tree")"
check "the 64-bit package runs under Wine" [ $? -eq 0 ]
check_tree "64-bit package" "$work/windows tree"

# The Explorer entries: added for the current user, on folders, drives and a folder's
# background, pointing at the program beside the script; each opens the window on the
# folder it is given (the UI driver presses Enter in such a window); removed whole. The
# scripts say what they did (and, started by a double click, wait for a key).
package=$unpacked/chronotree-0.01-win64
classes='HKCU\Software\Classes\Directory'
drives='HKCU\Software\Classes\Drive'
(cd "$package" && /usr/lib/wine/wine64 cmd /c explorer-add.cmd >"$work/add.out" 2>&1 </dev/null)
check "explorer-add.cmd succeeds" [ $? -eq 0 ]
check "and says what it did" grep -q "^Added \"Set folder dates with Chronotree...\"" "$work/add.out"
query() { # query KEY OUTFILE: the key's default value, as reg prints it
  /usr/lib/wine/wine64 reg query "$1" /ve >"$2" 2>&1 </dev/null
}
query "$classes\shell\Chronotree\command" "$work/folder-entry.out"
check "the folder entry opens the program beside the script on %1" grep -qF \
  "\"$(winpath "$package")\\chronotree.exe\" \"%1\"" "$work/folder-entry.out"
query "$drives\shell\Chronotree\command" "$work/drive-entry.out"
check "so does the drive entry" grep -qF "chronotree.exe\" \"%1\"" "$work/drive-entry.out"
query "$classes\Background\shell\Chronotree\command" "$work/background-entry.out"
check "the background entry on %V" grep -qF "chronotree.exe\" \"%V\"" "$work/background-entry.out"
query "$classes\shell\Chronotree" "$work/title.out"
check "its title, as Windows names commands that open a window" \
  grep -qF "Set folder dates with Chronotree..." "$work/title.out"
# As Explorer runs it: %1 becomes the folder, and the window opens on it; nothing is
# written until its set button is pressed.
command=$(tr -d '\r' <"$work/folder-entry.out" | grep -o '"[^"]*chronotree.exe" "%1"')
build_tree "$work/explorer tree"
before=$(cd "$work/explorer tree" && find . -printf '%p %T@\n' | sort)
command=${command//%1/$(winpath "$work/explorer tree")}
printf '@%s\r\n' "$command" >"$work/entry.cmd" # the line as it stands, quotes and all
/usr/lib/wine/wine64 cmd /c "$(winpath "$work/entry.cmd")" >"$work/entry-run.out" 2>&1 </dev/null &
entry=$!
sleep 5
check "the entry's command line opens the window and waits" kill -0 "$entry"
check "and writes nothing by itself" \
  [ "$(cd "$work/explorer tree" && find . -printf '%p %T@\n' | sort)" = "$before" ]
"$WINESERVER" -k >/dev/null 2>&1
wait "$entry"
wine_stop
wine_start "$work"
(cd "$package" && /usr/lib/wine/wine64 cmd /c explorer-add.cmd >"$work/add.out" 2>&1 </dev/null)
(cd "$package" && /usr/lib/wine/wine64 cmd /c explorer-remove.cmd >"$work/remove.out" 2>&1 </dev/null)
check "explorer-remove.cmd succeeds" [ $? -eq 0 ]
check "and says so" grep -q "^Removed" "$work/remove.out"
/usr/lib/wine/wine64 reg query "$classes\shell" /s >"$work/left.out" 2>&1 </dev/null
/usr/lib/wine/wine64 reg query "$classes\Background\shell" /s >>"$work/left.out" 2>&1 </dev/null
/usr/lib/wine/wine64 reg query "$drives\shell" /s >>"$work/left.out" 2>&1 </dev/null
check "and leaves no key behind" [ "$(grep -c Chronotree "$work/left.out")" -eq 0 ]

finish
