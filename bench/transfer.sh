#!/usr/bin/env bash
# Transfer cost: `orvana-dl-cli` against one curl process making exactly the same requests (album
# page, cover, song-list POST, then per song the download page and the file; for a singer the
# singer page, the album-list pages and per album the cover, the song list and the download
# pages), both against the sample portal, in the same run, interleaved, median of RUNS.
#   bench/transfer.sh [BUILD_DIR]
#   env: CLI=path (another orvana-dl-cli, e.g. an older build), RUNS=5, CASES="a b ..." (names
#        below; default all)
# a4x50x2k is 4 albums of 50 songs with one process per album on both sides (one curl process
# per album config): the programs' start-up and per-album fixed work weigh there.
# Prints one line per case: both medians, the ratio and our peak RSS (largest of the runs).
# Goals: every loopback ratio <= 1.2 (1 GiB <= 1.1), the linked one <= 1.05, RSS <= 32 MiB.
# link20x10m-p4 runs `orvana-dl-cli --parallel 4` over the same link and adds a second rival,
# curl --parallel --parallel-max 4 making the same requests (each in a step of its own, so the
# song-list POST stays the only POST); goals: <= 0.3 x the sequential curl, <= 1.1 x the
# parallel one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
portal="$build/tools/portal-sim/orvana-portal-sim"
cli="${CLI:-$build/cli/orvana-dl-cli}"
runs="${RUNS:-5}"
cases="${CASES:-a20x10m a200x1m a200x2k a4x50x2k a1x1g singer300 link20x10m link20x10m-p4}"
for tool in "$portal" "$cli" /usr/bin/time curl; do
  [ -x "$tool" ] || command -v "$tool" >/dev/null || { echo "transfer: missing $tool" >&2; exit 2; }
done

work="$(mktemp -d)"
pid=""
stop_portal() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
  fi
}
cleanup() {
  stop_portal
  rm -rf "$work"
}
trap cleanup EXIT
# An empty cookie file: the runs never read the user's login.
: >"$work/no-cookies.txt"

# start_portal ARGS...: sets $host.
start_portal() {
  rm -f "$work/port"
  "$portal" --port 0 --print-port "$@" >"$work/port" &
  pid=$!
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  host="127.0.0.1:$(head -n1 "$work/port")"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$(now)" -v b="$1" 'BEGIN { printf "%.3f\n", a - b }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
song_number() { if [ "$1" -lt 100 ]; then printf '%02d' "$1"; else printf '%d' "$1"; fi; }

# album_config ID SONGS OUT: the album's requests as a curl config, files written under OUT.
album_config() {
  local id=$1 songs=$2 out=$3 i n
  printf 'url = "http://%s/album/%s"\noutput = "/dev/null"\nnext\n' "$host" "$id"
  printf 'url = "http://%s/cover/%s.jpg"\noutput = "%s/cover.jpg"\nnext\n' "$host" "$id" "$out"
  printf 'url = "http://%s/data/music/songlist?hotbar=1&moduleName=album"\n' "$host"
  printf 'data = "id=%s&type=album"\noutput = "/dev/null"\n' "$id"
  for i in $(seq 1 "$songs"); do
    n=$(song_number "$i")
    printf 'next\nurl = "http://%s/song/%s%s/download"\noutput = "/dev/null"\n' "$host" "$id" "$n"
    printf 'next\nurl = "http://%s/file/%s%s/128.mp3"\noutput = "%s/Bench %s.mp3"\n' \
      "$host" "$id" "$n" "$out" "$n"
  done
}

# singer_config ID ALBUMS FIRST OUT: a re-run of a complete singer (no song file fetched).
singer_config() {
  local id=$1 albums=$2 first=$3 out=$4 start a album
  printf 'url = "http://%s/artist/%s"\noutput = "/dev/null"\n' "$host" "$id"
  for ((start = 0; start <= albums; start += 10)); do
    printf 'next\nurl = "http://%s/data/user/getalbums?start=%d&vesk_uid=%s&order=hot"\n' \
      "$host" "$start" "$id"
    printf 'output = "/dev/null"\n'
    for ((a = start; a < albums && a < start + 10; a++)); do
      album=$((first + a))
      printf 'next\nurl = "http://%s/cover/%s.jpg"\noutput = "%s/%s.jpg"\n' "$host" "$album" "$out" "$album"
      printf 'next\nurl = "http://%s/data/music/songlist?hotbar=1&moduleName=album"\n' "$host"
      printf 'data = "id=%s&type=album"\noutput = "/dev/null"\n' "$album"
      printf 'next\nurl = "http://%s/song/%s01/download"\noutput = "/dev/null"\n' "$host" "$album"
    done
  done
}

run_curl() { # CONFIG [CURL OPTIONS...]: prints seconds
  local start config=$1
  shift
  start=$(now)
  curl -sS "$@" -K "$config"
  elapsed "$start"
}

run_cli() { # ARGS...: prints seconds; peak RSS (KiB) appended to $work/rss
  local start
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/time.txt" "$cli" "$@" --portal-host "$host" \
    --cookies "$work/no-cookies.txt" 2>"$work/cli.err" || {
    echo "transfer: orvana-dl-cli failed" >&2
    cat "$work/cli.err" >&2
    exit 1
  }
  elapsed "$start"
  tail -n1 "$work/time.txt" >>"$work/rss"
}

# bench_album NAME SONGS BYTES [PORTAL ARGS...]; with $parallel set, orvana-dl-cli runs with
# --parallel $parallel and curl --parallel --parallel-max $parallel is timed too.
bench_album() {
  local name=$1 songs=$2 bytes=$3 album=90000001 r
  shift 3
  local cli_args=()
  [ -z "${parallel:-}" ] || cli_args=(--parallel "$parallel")
  start_portal --song-bytes "$bytes" --bench-album "$album:$songs" "$@"
  : >"$work/curl.t"
  : >"$work/pcurl.t"
  : >"$work/cli.t"
  : >"$work/rss"
  for r in $(seq "$runs"); do
    rm -rf "$work/c" "$work/o"
    mkdir -p "$work/c" "$work/o"
    album_config "$album" "$songs" "$work/c" >"$work/curl.cfg"
    run_curl "$work/curl.cfg" >>"$work/curl.t"
    if [ -n "${parallel:-}" ]; then
      rm -rf "$work/c"
      mkdir -p "$work/c"
      # -s does not quiet the meter of the parallel mode over `next` steps; this does.
      run_curl "$work/curl.cfg" --parallel --parallel-max "$parallel" --no-progress-meter \
        >>"$work/pcurl.t"
    fi
    run_cli album "$album" -o "$work/o" "${cli_args[@]}" >>"$work/cli.t"
    if [ "$r" -eq 1 ]; then
      local stored
      stored=$(find "$work/o" -name '*.mp3' | wc -l)
      if [ "$stored" -ne "$songs" ] ||
        ! cmp -s "$work/c/Bench $(song_number "$songs").mp3" \
          "$work/o/Bench Album/Bench $(song_number "$songs").mp3"; then
        echo "transfer: $name: the CLI did not store the same $songs files" >&2
        exit 1
      fi
    fi
  done
  rm -rf "$work/c" "$work/o"
  stop_portal
  report "$name"
}

# bench_albums NAME ALBUMS SONGS BYTES: ALBUMS albums, each fetched by a process of its own on
# both sides; the time is that of the whole sequence. Each run writes into folders of its own,
# removed only after the last run: ext4 without a journal passes over inodes freed in the last
# 30 s when it makes a file, so removing a run's files would slow the next run's file creation.
bench_albums() {
  local name=$1 albums=$2 songs=$3 bytes=$4 first=90000001 a r start c o
  local portal_args=()
  for ((a = 0; a < albums; a++)); do portal_args+=(--bench-album "$((first + a)):$songs"); done
  start_portal --song-bytes "$bytes" "${portal_args[@]}"
  : >"$work/curl.t"
  : >"$work/cli.t"
  : >"$work/rss"
  for r in $(seq "$runs"); do
    c="$work/runs/$r/c"
    o="$work/runs/$r/o"
    mkdir -p "$o"
    for ((a = 0; a < albums; a++)); do
      mkdir -p "$c/$a"
      album_config "$((first + a))" "$songs" "$c/$a" >"$work/curl$a.cfg"
    done
    # Each side starts with no dirty pages of the other's to write back.
    sync
    start=$(now)
    for ((a = 0; a < albums; a++)); do curl -sS -K "$work/curl$a.cfg"; done
    elapsed "$start" >>"$work/curl.t"
    sync
    start=$(now)
    for ((a = 0; a < albums; a++)); do run_cli album "$((first + a))" -o "$o" >/dev/null; done
    elapsed "$start" >>"$work/cli.t"
    if [ "$r" -eq 1 ] && [ "$(find "$o" -name '*.mp3' | wc -l)" -ne $((albums * songs)) ]; then
      echo "transfer: $name: the CLI did not store the $((albums * songs)) files" >&2
      exit 1
    fi
  done
  rm -rf "$work/runs"
  stop_portal
  report "$name"
}

bench_singer() {
  local name=$1 albums=300 first=70000001 singer=880001 r
  start_portal --song-bytes 2048 --bench-singer "$singer:$albums:$first"
  rm -rf "$work/o" "$work/c"
  mkdir -p "$work/o" "$work/c"
  : >"$work/rss"
  run_cli singer "$singer" -o "$work/o" >/dev/null # the complete singer the re-runs find
  : >"$work/rss"
  : >"$work/curl.t"
  : >"$work/cli.t"
  singer_config "$singer" "$albums" "$first" "$work/c" >"$work/curl.cfg"
  for r in $(seq "$runs"); do
    run_curl "$work/curl.cfg" >>"$work/curl.t"
    run_cli singer "$singer" -o "$work/o" >>"$work/cli.t"
  done
  rm -rf "$work/c" "$work/o"
  stop_portal
  report "$name"
}

report() {
  local c o p rss
  c=$(median <"$work/curl.t")
  o=$(median <"$work/cli.t")
  rss=$(sort -n "$work/rss" | tail -n1)
  printf '%-13s curl %7.3f s   orvana-dl-cli %7.3f s   ratio %5.2f   peak RSS %5.1f MiB\n' \
    "$1" "$c" "$o" "$(awk -v a="$o" -v b="$c" 'BEGIN { print a / b }')" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  if [ -n "${parallel:-}" ]; then
    p=$(median <"$work/pcurl.t")
    printf '%-13s curl --parallel-max %s %7.3f s   ratio to it %5.2f\n' \
      "" "$parallel" "$p" "$(awk -v a="$o" -v b="$p" 'BEGIN { print a / b }')"
  fi
}

echo "orvana-dl-cli: $cli; median of $runs, interleaved"
for c in $cases; do
  case "$c" in
  a20x10m) bench_album "$c" 20 $((10 * 1024 * 1024)) ;;
  a200x1m) bench_album "$c" 200 $((1024 * 1024)) ;;
  a200x2k) bench_album "$c" 200 2048 ;;
  a4x50x2k) bench_albums "$c" 4 50 2048 ;;
  a1x1g) bench_album "$c" 1 $((1024 * 1024 * 1024)) ;;
  singer300) bench_singer "$c" ;;
  link20x10m) bench_album "$c" 20 $((10 * 1024 * 1024)) --latency-ms 40 --rate-kib 8192 ;;
  link20x10m-p4)
    parallel=4 bench_album "$c" 20 $((10 * 1024 * 1024)) --latency-ms 40 --rate-kib 8192
    ;;
  *) echo "transfer: unknown case $c" >&2; exit 2 ;;
  esac
done
