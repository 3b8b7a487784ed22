#!/usr/bin/env bash
# Lets this kernel, which cannot run 32-bit Linux programs itself, run Wine's 32-bit
# loader through qemu-user-static, for as long as a test needs it.
# usage: binfmt_i386.sh enable|disable; enable exits 3 when binfmt_misc is not to be had.
set -u
dir=/proc/sys/fs/binfmt_misc
name=chronotree-i386
case $1 in
enable)
  [ -e $dir/register ] || mount -t binfmt_misc binfmt_misc $dir 2>/dev/null || exit 3
  [ -w $dir/register ] || exit 3
  [ -e $dir/$name ] && exit 0
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':%s:M::%s:%s:/usr/bin/qemu-i386-static:F' "$name" "$magic" "$mask" >$dir/register \
    2>/dev/null || exit 3
  ;;
disable)
  # While the entry is enabled, creating any Wine prefix is slow: never leave it behind.
  [ -e $dir/$name ] && echo -1 >$dir/$name
  exit 0
  ;;
esac
