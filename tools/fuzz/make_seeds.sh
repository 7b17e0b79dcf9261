#!/usr/bin/env bash
# A small seed corpus per fuzz target, generated (nothing third-party, and no file
# that holds the anti-malware test string whole).
set -euo pipefail
out=$1
mkdir -p "$out"/{pe_sections,entropy,page_check,scan_index_line,bad_hash_list,safe_hash_list,sidecar,task_command,executable_path,test_file}
# A PE head: MZ, e_lfanew at 0x3c -> 0x40, "PE\0\0", one section marked RWX.
{
  printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00'
  printf 'PE\x00\x00\x64\x86\x01\x00'; head -c 12 /dev/zero; printf '\xf0\x00\x22\x00'; head -c 240 /dev/zero
  printf '.evil\x00\x00\x00'; head -c 28 /dev/zero; printf '\x20\x00\x00\xe0'
} >"$out/pe_sections/rwx"
printf 'plain text, nothing packed\r\n' >"$out/entropy/text"
head -c 4096 /dev/urandom >"$out/entropy/noise"
printf '<html>\r\n<form>login</form>\r\npassword\r\nhttp://example.invalid\r\n' >"$out/page_check/phish"
# A page of one line past the 64 KiB line bound (it also lets inputs grow that long),
# and one of more than 40 lines.
{ printf '<form>'; head -c 66000 /dev/zero | tr '\0' 'a'; printf '\npassword\n'; } >"$out/page_check/one-line"
for n in $(seq 42); do printf 'line %d\r\n' "$n"; done >"$out/page_check/many-lines"
printf 'C:\\Users\\bob\\a.txt\t133000000000000000\t12\nbad line\n' >"$out/scan_index_line/index"
printf '# sha256 of confirmed bad files, one per line\r\n%064d\r\n' 0 >"$out/bad_hash_list/list"
printf '%064d\r\n\r\nshort\r\n' 1 >"$out/safe_hash_list/list"
printf 'original=C:\\Users\\bob\\Downloads\\kit.exe\r\nreason=heuristic-disinfect\r\n' >"$out/sidecar/sidecar"
printf '<Task><Actions><Exec><Command>C:\\Users\\bob\\AppData\\x.exe</Command></Exec></Actions></Task>' \
  >"$out/task_command/task"
printf '"\x00C\x00:\x00\\\x00a\x00 \x00b\x00.\x00e\x00x\x00e\x00"\x00 \x00/\x00q\x00' >"$out/executable_path/quoted"
printf 'X5O!P%%@AP[4\\PZX54(P^)7CC)7}$%s%s\r\n' 'EICAR' '-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' >"$out/test_file/padded"
