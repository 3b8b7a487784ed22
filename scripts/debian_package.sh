#!/usr/bin/env bash
# Makes the Debian package of the Linux command from the host build, without root: the
# command, its manual page, the shells' completions, the systemd user units of a daily
# run, the copyright in the machine-readable format and the changelog, dated from
# SOURCE_DATE_EPOCH so that the same commit gives the same bytes. Called by release.sh.
# usage: debian_package.sh VERSION SOURCE_URL OUTPUT.deb
set -eu
version=$1 source_url=$2 output=$3
cd "$(dirname "$0")/.."
: "${SOURCE_DATE_EPOCH:?}"
export TZ=UTC LC_ALL=C
umask 022
maintainer="The Chronotree developers <chronotree@example.org>"
root=$(mktemp -d /tmp/chronotree-deb-XXXXXX)
trap 'rm -rf "$root"' EXIT
chmod 755 "$root" # mktemp makes it the owner's alone, and it becomes the package's /

DESTDIR="$root" cmake --install build/host --prefix /usr >/dev/null
strip --strip-all --remove-section=.comment --remove-section=.note "$root/usr/bin/chronotree"
# Debian's zsh reads the completions of packages from vendor-completions.
mkdir -p "$root/usr/share/zsh/vendor-completions"
mv "$root/usr/share/zsh/site-functions/_chronotree" "$root/usr/share/zsh/vendor-completions/"
rmdir "$root/usr/share/zsh/site-functions"
gzip -9n "$root/usr/share/man/man1/chronotree.1"

doc=$root/usr/share/doc/chronotree
mkdir -p "$doc"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Chronotree"
  echo "Source: $source_url"
  echo
  echo "Files: *"
  echo "Copyright: 2026 The Chronotree developers"
  echo "License: Expat"
  echo
  echo "License: Expat"
  # The licence's text, its paragraphs kept apart by " ." as the format wants.
  sed -n '/^Permission is hereby granted/,$p' LICENSE | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"
{
  echo "chronotree ($version) unstable; urgency=medium"
  echo
  echo "  * First package: the command, its manual page and the completions of bash, zsh"
  echo "    and fish."
  echo
  echo " -- $maintainer  $(date -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.Debian.gz"
mkdir -p "$root/usr/share/lintian/overrides"
cat >"$root/usr/share/lintian/overrides/chronotree" <<'EOF'
# The command is linked statically on purpose: the same file runs on every distribution,
# old ones included, as the release's tar.gz does.
chronotree: statically-linked-binary [usr/bin/chronotree]
# Not uploaded to Debian, so there is no bug asking for the package for its first entry to
# close.
chronotree: initial-upload-closes-no-bugs [usr/share/doc/chronotree/changelog.Debian.gz:1]
EOF

mkdir -p "$root/DEBIAN"
(cd "$root" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
cat >"$root/DEBIAN/control" <<EOF
Package: chronotree
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Section: utils
Priority: optional
Homepage: $source_url
Description: set each folder's date to the newest file inside it
 Chronotree walks every folder below a folder you name and sets its
 modification time to that of the newest file anywhere inside it, so that
 folders sort by what they hold rather than by when they were copied. The
 folder you name keeps its own date; files are never touched.
 .
 A dry run shows what would change, a list of the changes takes a run back,
 and names that file managers write (Thumbs.db, .DS_Store) can be left out.
EOF
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$root" "$output" >/dev/null
