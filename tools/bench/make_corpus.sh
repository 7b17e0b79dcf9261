#!/usr/bin/env bash
# Makes the benchmark's folder of files: a user's Downloads tree with documents,
# web pages, Windows executables, compressed blobs, pictures, music and large
# videos. Every byte comes from fixed seeds, so two machines with the same Debian
# packages get the same corpus. FILES (default 2000) sets the number of files;
# 2000 files make about 2 GB. Does nothing when OUT/.corpus-FILES already exists.
# Usage: bash tools/bench/make_corpus.sh OUT FILES
set -euo pipefail
export LC_ALL=C  # sorting and awk's byte handling must not depend on the locale
out=$(realpath -m -- "${1:?usage: make_corpus.sh OUT FILES}")
files=${2:-2000}
[[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -ge 10 ] || { echo "make_corpus: FILES must be a number >= 10" >&2; exit 2; }
# The scanner's rules look at the "\Downloads\" path segment, so the tree lives there.
tree="$out/Users/bench/Downloads"
stamp="$out/.corpus-$files"

if [ -f "$stamp" ]; then
  cat "$stamp"
  exit 0
fi

echo "make_corpus: generating $files files in $tree ..." >&2
rm -rf "$out/Users" "$out"/.corpus-* "$out/.work"
mkdir -p "$tree" "$out/.work"
work="$out/.work"

# Pseudo-random bytes: AES-256-CTR over zeros with a key derived from the seed.
# head closing the pipe ends openssl with SIGPIPE, which is expected.
noise() {  # noise SEED BYTES
  { openssl enc -aes-256-ctr -pbkdf2 -iter 1 -md sha256 -nosalt -pass "pass:kav-bench-$1" </dev/zero 2>/dev/null || true; } |
    head -c "$2"
}

# Text of about SIZE bytes in the given form. The generator is a Park-Miller
# generator written out in awk (products stay below 2^53, so every awk computes the
# same numbers), not awk's rand(), whose sequence differs between awk builds.
text_awk='
function rnd() { x = (x * 48271) % 2147483647; return x / 2147483647 }
function pick(n) { return int(rnd() * n) }
function word() { return W[pick(nw) + 1] }
function sentence(k,   s, i) {
  s = word(); s = toupper(substr(s, 1, 1)) substr(s, 2)
  for (i = 1; i < k; i++) s = s " " word()
  return s "."
}
function emit(s) { printf "%s", s; out += length(s) }
BEGIN {
  x = seed % 2147483646 + 1
  nw = split("the of and to in is that for it as was with be by on not this are or from at which " \
    "but have an they you were she there one all we can has been if more when will would who so no " \
    "report meeting project budget invoice customer order shipping delivery account update schedule " \
    "review team client server network backup file folder document spreadsheet draft final version " \
    "change request support ticket problem note summary quarter revenue cost price total amount payment " \
    "receipt contract agreement travel hotel flight booking photo family holiday garden recipe kitchen " \
    "school homework library music concert weather monday tuesday wednesday thursday friday morning " \
    "evening office remote laptop printer software license install setup download release patch " \
    "driver monitor keyboard", W, " ")
  split("INFO INFO INFO INFO DEBUG WARN ERROR", LV, " ")
  eol = (form == "txt" || form == "csv" || form == "html") ? "\r\n" : "\n"
  out = 0
  if (form == "csv") emit("id,date,name,amount,status" eol)
  if (form == "html") {
    emit("<!DOCTYPE html>" eol "<html><head><meta charset=\"utf-8\"><title>" sentence(5) "</title></head>" eol "<body>" eol)
    if (flag == "words")
      emit("<form action=\"http://portal.example.com/login\" method=\"post\"><label>login</label>" \
           "<input name=\"login\"><label>password</label><input type=\"password\" name=\"password\"></form>" eol)
  }
  n = 0
  while (out < size) {
    n++
    if (form == "txt") {
      emit(sentence(4 + pick(12)) eol)
      if (pick(6) == 0) emit(eol)
    } else if (form == "csv") {
      emit(sprintf("%d,2023-%02d-%02d,%s %s,%.2f,%s%s", n, 1 + pick(12), 1 + pick(28), word(), word(),
                   pick(1000000) / 100, word(), eol))
    } else if (form == "log") {
      emit(sprintf("2024-%02d-%02d %02d:%02d:%02d %s %s[%d]: %s%s", 1 + pick(12), 1 + pick(28), pick(24),
                   pick(60), pick(60), LV[1 + pick(7)], word(), 100 + pick(9000), sentence(3 + pick(10)), eol))
    } else if (form == "md") {
      if (pick(12) == 0) emit(eol "## " sentence(3) eol eol)
      else if (pick(3) == 0) emit("- " sentence(3 + pick(8)) eol)
      else emit(sentence(5 + pick(12)) eol)
    } else {
      p = "<p>" sentence(6 + pick(20)) "</p>"
      if (flag == "words" && pick(8) == 0)
        p = p "<p>Forgot your password? <a href=\"http://portal.example.com/login?next=" word() "\">login here</a></p>"
      # A long-line page keeps its whole body on one line, as minified pages do.
      emit(p (flag == "long" ? "" : eol))
    }
  }
  if (form == "html") emit(eol "</body></html>" eol)
}'

text() {  # text SEED SIZE FORM [FLAG]
  awk -v seed="$1" -v size="$2" -v form="$3" -v flag="${4:-plain}" "$text_awk"
}

# Counts per kind, scaled from 2000 files (rounded): 15 large videos, 12.5 %
# executables, 10 % compressed, 13 % pictures and music, 12 % web pages, the rest text.
scale() { echo $(( ($1 * files + 1000) / 2000 )); }
n_large=$(scale 15)
n_pe=$(scale 250)
n_comp=$(scale 200)
n_media=$(scale 260)
n_html=$(scale 240)
n_text=$((files - n_large - n_pe - n_comp - n_media - n_html))

# Executables: the Windows DLLs and EXEs that Debian's Wine packages ship, from the
# package file lists (a file someone dropped there by hand is not taken), ordered
# by size then name and picked evenly across that order, so small and large ones
# (several over 2 MiB) are all in.
{ dpkg-query -L libwine libwine:i386 2>/dev/null || true; } |
  grep -E '/wine/(x86_64|i386)-windows/[^/]+\.(dll|exe)$' | sort -u |
  { xargs -r -d "\n" stat -c $'%F\t%s\t%n' -- 2>/dev/null || true; } | awk -F "\t" '$1 == "regular file" { print $2 "\t" $3 }' |
  sort -t $'\t' -k1,1n -k2,2 >"$work/pe-list"
pe_total=$(wc -l <"$work/pe-list")
[ "$pe_total" -gt 0 ] || { echo "make_corpus: no Wine DLLs found (is the libwine package installed?)" >&2; exit 1; }

# The plan: one line per file, kind TAB path TAB size TAB flag TAB source, drawn from
# the same awk generator with a fixed seed.
awk -F '\t' -v n_large="$n_large" -v n_pe="$n_pe" -v n_comp="$n_comp" -v n_media="$n_media" \
    -v n_html="$n_html" -v n_text="$n_text" -v pe_total="$pe_total" '
function rnd() { x = (x * 48271) % 2147483647; return x / 2147483647 }
function pick(n) { return int(rnd() * n) }
function logsize(lo, hi) { return int(exp(log(lo) + rnd() * (log(hi) - log(lo)))) }
function among(list,   a, k) { k = split(list, a, "|"); return a[pick(k) + 1] }
function place(dir, name) { return (dir == "" ? "" : dir "/") name }
function line(kind, path, size, flag, src,   base) {
  # Two picks of one name in one folder (copies, or the same DLL name of both
  # architectures) must not overwrite each other.
  base = path
  while (path in taken) {
    path = base "-" (++again[base])
    if (match(base, /\.[^.\/]+$/)) path = substr(base, 1, RSTART - 1) "-" again[base] substr(base, RSTART)
  }
  taken[path] = 1
  # "-" for an empty field: read splits on tabs and would merge two of them.
  printf "%s\t%s\t%.0f\t%s\t%s\n", kind, path, size, (flag == "" ? "-" : flag), (src == "" ? "-" : src)
}
{ pe_size[NR] = $1; pe_path[NR] = $2 }
END {
  x = 20240611
  for (i = 1; i <= n_text; i++) {
    r = rnd()
    if (r < 0.4) { f = "txt"; p = place(among("Documents/notes|Documents/notes/2023|Documents/notes/2024||misc"), sprintf("notes-%04d.txt", i)) }
    else if (r < 0.6) { f = "csv"; p = place(among("Documents/spreadsheets|Documents/spreadsheets/exports"), sprintf("export-%04d.csv", i)) }
    else if (r < 0.8) { f = "log"; p = place(among("logs|logs/app|logs/installer"), sprintf("app-%04d.log", i)) }
    else { f = "md"; p = place(among("projects/readme|projects/site/docs|Documents/notes"), sprintf("README-%04d.md", i)) }
    line("text", p, logsize(1024, 307200), f, "")
  }
  for (i = 1; i <= n_html; i++) {
    j = i - 1
    flag = (j % 20 == 3) ? "long" : (j % 20 == 7 || j % 20 == 13) ? "words" : "plain"
    ext = (pick(4) == 0) ? "htm" : "html"
    line("html", place(among("web|web/saved pages|web/saved pages/shop"), sprintf("page-%04d.%s", i, ext)),
         logsize(2048, 262144), flag, "")
  }
  for (i = 1; i <= n_pe; i++) {
    k = int((i - 0.5) * pe_total / n_pe) + 1
    name = pe_path[k]; sub(/.*\//, "", name)
    line("pe", place(among("tools|tools/installers|programs/bin|"), name), pe_size[k], "", pe_path[k])
  }
  for (i = 1; i <= n_comp; i++) {
    ext = among("zip|gz|7z")
    name = (ext == "zip") ? "backup" : (ext == "gz") ? "logs" : "bundle"
    line("compressed", place(among("archives|archives/backups|"), sprintf("%s-%04d.%s", name, i, ext)),
         logsize(51200, 8388608), ext, "")
  }
  for (i = 1; i <= n_media; i++) {
    ext = among("jpg|jpg|png|mp3")
    if (ext == "jpg") p = place(among("Pictures/2023|Pictures/2024"), sprintf("IMG_%04d.jpg", i))
    else if (ext == "png") p = place("Pictures/screenshots", sprintf("screenshot-%04d.png", i))
    else p = place(sprintf("Music/album-%02d", 1 + pick(8)), sprintf("track-%04d.mp3", i))
    line("media", p, logsize(102400, 6291456), ext, "")
  }
  # Above the scanner'"'"'s 32 MiB analysis limit, below ClamAV'"'"'s default 100 MiB file limit.
  for (i = 1; i <= n_large; i++) {
    ext = (i % 3 == 0) ? "mkv" : "mp4"
    line("large", place("Videos", sprintf("%s-%04d.%s", (ext == "mp4") ? "movie" : "recording", i, ext)),
         41943040 + pick(58) * 1048576 + pick(1048576), ext, "")
  }
}' "$work/pe-list" >"$work/plan"

# A pool of text for the gzip'd blobs, read from an offset and looped, so that a
# large .gz does not need its own slow text generation.
text 777 16777216 txt >"$work/pool"
pool_bytes=$(stat -c %s "$work/pool")
pool_text() {  # pool_text OFFSET BYTES
  { { tail -c +"$(($1 % pool_bytes + 1))" "$work/pool"; while cat "$work/pool"; do :; done; } 2>/dev/null || true; } |
    head -c "$2"
}

magic() {  # the first bytes of each format, so type checks see what they expect
  case $1 in
    zip) printf 'PK\003\004\024\000\000\000\010\000' ;;
    7z) printf '7z\274\257\047\034\000\004' ;;
    jpg) printf '\377\330\377\340\000\020JFIF\000\001\001\000\000\001\000\001\000\000' ;;
    png) printf '\211PNG\r\n\032\n\000\000\000\rIHDR' ;;
    mp3) printf 'ID3\003\000\000\000\000\000\000' ;;
    mp4) printf '\000\000\000\040ftypisom\000\000\002\000isomiso2avc1mp41' ;;
    mkv) printf '\032\105\337\243\243\102\206\201\001' ;;
  esac
}

# Folders first, in one go: a process per file is what makes this slow.
cut -f 2 "$work/plan" | awk -v tree="$tree" '{ print (sub(/\/[^/]*$/, "") ? tree "/" $0 : tree) }' | sort -u | xargs -d "\n" mkdir -p
n=0
while IFS=$'\t' read -r kind path size flag src; do
  n=$((n + 1))
  dest="$tree/$path"
  case $kind in
    text) text "$n" "$size" "$flag" >"$dest" ;;
    html) text "$n" "$size" html "$flag" >"$dest" ;;
    pe) cp "$src" "$dest" ;;
    compressed)
      if [ "$flag" = gz ]; then
        # Word text compresses about 3.5 to 1, so this lands near the planned size.
        pool_text $((n * 7919)) $((size * 7 / 2)) | gzip -n -6 >"$dest"
      else
        { magic "$flag"; noise "$n" "$size"; } >"$dest"
      fi
      ;;
    media | large) { magic "$flag"; noise "$n" "$size"; } >"$dest" ;;
  esac
done <"$work/plan"

# Summary from the files themselves, kind by kind (the plan names each file's kind).
summary=$(
  find "$tree" -type f -printf '%P\t%s\n' | awk -F '\t' -v tree="$tree" '
    NR == FNR { kind[$2] = $1; next }
    { $1 = kind[$1] }
    { c[$1]++; b[$1] += $2; n++; t += $2; if ($2 > 33554432) big++ }
    END {
      printf "corpus: %d files, %.0f bytes (%.1f MB) in %s\n", n, t, t / 1e6, tree
      split("text html pe compressed media large", order, " ")
      for (i = 1; i <= 6; i++) { k = order[i]; printf "  %-10s %5d files %12.0f bytes\n", k, c[k], b[k] }
      printf "  over the 32 MiB analysis limit: %d files\n", big
    }' "$work/plan" -
)
actual=$(find "$tree" -type f | wc -l)
[ "$actual" -eq "$files" ] || { echo "make_corpus: made $actual files, planned $files" >&2; exit 1; }
rm -rf "$work"
echo "$summary" >"$stamp"
echo "$summary"
