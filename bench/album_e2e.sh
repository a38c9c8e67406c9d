#!/usr/bin/env bash
# End-to-end album download time: `orvana-dl-cli album` against curl fetching the same song
# files one after another, both from the sample portal on loopback.
#   bench/album_e2e.sh [BUILD_DIR]      (default build/; needs orvana-portal-sim, orvana-dl-cli)
# Prints both times, their ratio and the CLI's peak RSS. Goals: ratio <= 1.2, RSS <= 64 MiB.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
portal="$build/tools/portal-sim/orvana-portal-sim"
cli="$build/cli/orvana-dl-cli"
for tool in "$portal" "$cli" /usr/bin/time curl; do
  [ -x "$tool" ] || command -v "$tool" >/dev/null || { echo "album_e2e: missing $tool" >&2; exit 2; }
done

songs=20
bytes=$((10 * 1024 * 1024))
album=90000001
work="$(mktemp -d)"
"$portal" --port 0 --print-port --song-bytes "$bytes" --bench-album "$album:$songs" \
  >"$work/port" &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
host="127.0.0.1:$(head -n1 "$work/port")"

now() { date +%s.%N; }

# curl: the same 20 files, one after another, each to its own file.
mkdir -p "$work/curl"
start=$(now)
for i in $(seq -w 1 "$songs"); do
  curl -sS --fail -o "$work/curl/$i.mp3" "http://$host/file/$album$i/128.mp3"
done
curl_s=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

# orvana-dl-cli: the whole album (pages, cover, song list, download pages, files), with an
# empty cookie file of its own (a named cookie file must exist).
: > "$work/no-cookies.txt"
start=$(now)
/usr/bin/time -v -o "$work/time.txt" \
  "$cli" album "$album" --portal-host "$host" -o "$work/cli" --cookies "$work/no-cookies.txt" \
  2>"$work/cli.err"
cli_s=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

stored=$(find "$work/cli" -name '*.mp3' | wc -l)
if [ "$stored" -ne "$songs" ] || ! cmp -s "$work/curl/01.mp3" "$work/cli/Bench Album/Bench 01.mp3"; then
  echo "album_e2e: the CLI did not store the same $songs files" >&2
  cat "$work/cli.err" >&2
  exit 1
fi

rss_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
ratio=$(awk -v a="$cli_s" -v b="$curl_s" 'BEGIN { print a / b }')
printf 'songs: %d x %d bytes\n' "$songs" "$bytes"
printf 'curl, one file after another: %.3f s\n' "$curl_s"
printf 'orvana-dl-cli album:          %.3f s\n' "$cli_s"
printf 'ratio cli/curl:               %.2f (goal <= 1.2)\n' "$ratio"
printf 'orvana-dl-cli peak RSS:       %.1f MiB (goal <= 64)\n' "$(awk -v a="$rss_kb" 'BEGIN { print a / 1024 }')"
