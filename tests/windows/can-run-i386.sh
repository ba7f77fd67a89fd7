#!/bin/sh
# Exits 0 when this machine runs 32-bit x86 programs: writes a 93-byte
# static i386 ELF program that only calls exit(0), and runs it.
set -u
f=$(mktemp)
trap 'rm -f "$f"' EXIT
{
  # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
  # One loadable segment: the whole file at 0x08048000, read and execute.
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'
  # xor ebx,ebx; mov eax,1; int 0x80
  printf '\061\333\270\001\000\000\000\315\200'
} >"$f"
chmod +x "$f"
"$f" 2>/dev/null
