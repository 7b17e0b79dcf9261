# Turns Wine's debug output (WINEDEBUG=warn+seh) into the program's activity lines,
# one per OutputDebugString call, as the program wrote them. Wine prints each
# string escaped (backslashes doubled, quotes escaped, bytes outside ASCII as \xNN in
# the Windows-1252 code page, truncated with "..." when long) and a second time from
# dispatch_exception; only the first copy is kept and everything else Wine prints
# is left out. With -v raw=FILE every line as Wine printed it also goes to FILE. Run
# with LC_ALL=C, so that the bytes written are the UTF-8 built here.
BEGIN {
  hex = "0123456789abcdef"
  # Windows-1252 bytes 0x80-0x9f; the five it leaves undefined become blanks.
  split("20ac 0 201a 0192 201e 2026 2020 2021 02c6 2030 0160 2039 0152 0 017d 0 " \
        "0 2018 2019 201c 201d 2022 2013 2014 02dc 2122 0161 203a 0153 0 017e 0178", c1, " ")
  for (b = 128; b < 256; b++) {
    cp = b >= 160 ? b : hexval(c1[b - 127])
    utf8[b] = cp == 0 ? " " : encode(cp)
  }
  marker = ":warn:seh:OutputDebugStringA \""
}

function hexval(s,    i, v) {
  v = 0
  for (i = 1; i <= length(s); i++) v = v * 16 + index(hex, tolower(substr(s, i, 1))) - 1
  return v
}

function encode(cp) {
  if (cp < 128) return sprintf("%c", cp)
  if (cp < 2048) return sprintf("%c%c", 192 + int(cp / 64), 128 + cp % 64)
  return sprintf("%c%c%c", 224 + int(cp / 4096), 128 + int(cp / 64) % 64, 128 + cp % 64)
}

{
  if (raw != "") { print > raw; fflush(raw) }
  at = index($0, marker)
  if (at == 0) next
  rest = substr($0, at + length(marker))
  out = ""
  n = length(rest)
  closed = 0
  for (i = 1; i <= n; i++) {
    ch = substr(rest, i, 1)
    if (ch == "\"") { closed = i; break }
    if (ch != "\\" || i == n) { out = out ch; continue }
    esc = substr(rest, ++i, 1)
    if (esc == "x" && i + 2 <= n) {
      b = hexval(substr(rest, i + 1, 2))
      i += 2
      out = out (b >= 128 ? utf8[b] : (b < 32 || b == 127 ? " " : sprintf("%c", b)))
    } else if (esc == "n" || esc == "r" || esc == "t") {
      out = out " "  # a line of its own each: no breaks inside it
    } else {
      out = out esc
    }
  }
  sub(/[ ]+$/, "", out)
  if (closed && substr(rest, closed + 1, 3) == "...") out = out " ..."
  if (out == "") next
  print out
  fflush()
}
