#!/bin/bash
# Runs vaultleaf-cli, built with AddressSanitizer and UndefinedBehaviorSanitizer,
# over damaged databases and hostile folder trees. Fails on any sanitizer report,
# signal, exit code outside the documented set (0-4) or time-out, and names the
# file and command. Run by hand (it takes a while):
#   scripts/hostile-run.sh
# Environment: BUILD_DIR (default build-asan), COUNT damaged databases (300),
# SEED (1), TIME_LIMIT seconds per command (20), JOBS in parallel (2),
# DEPTH of the deep folder chain (20000), DEEP_TIME_LIMIT for each command on the
# database that deep (600: tens of thousands of nodes under the sanitizers), SKIP_BUILD=1 to use BUILD_DIR as it is,
# VERBOSE=1 to print every command's exit code and messages, ONLY=damaged|folders to run one half, LEAKS=0 to leave out leak detection (twice as fast).
set -u
SRC=$(realpath "$(dirname "$0")/..")
BUILD_DIR=$(realpath -m "${BUILD_DIR:-$SRC/build-asan}")
COUNT=${COUNT:-300}
SEED=${SEED:-1}
TIME_LIMIT=${TIME_LIMIT:-20}
JOBS=${JOBS:-2}
DEPTH=${DEPTH:-20000}
DEEP_TIME_LIMIT=${DEEP_TIME_LIMIT:-600}
ONLY=${ONLY:-}

if [ "${SKIP_BUILD:-0}" != 1 ]; then
  launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$SRC" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAULTLEAF_SANITIZE=ON \
    -DVAULTLEAF_GUI=OFF -DVAULTLEAF_BENCH=OFF "${launcher[@]}" > /dev/null || exit 1
  cmake --build "$BUILD_DIR" -j"$JOBS" --target vaultleaf-cli > /dev/null || exit 1
fi

R=$(mktemp -d /tmp/hostile-run.XXXXXX)
trap 'chmod -R u+rwx "$R" 2> /dev/null; rm -rf "$R"' EXIT
chmod 755 "$R"
mkdir -p "$R/bin" "$R/db"
# A copy of the program, so that the unreadable-entry cases can run as another user.
cp "$BUILD_DIR/src/cli/vaultleaf-cli" "$R/bin/"
chmod 755 "$R/bin/vaultleaf-cli"
C="$R/bin/vaultleaf-cli"
FAILURES="$R/failures"
: > "$FAILURES"
export ASAN_OPTIONS=exitcode=86:detect_leaks=${LEAKS:-1}:abort_on_error=0:print_summary=1
export UBSAN_OPTIONS=exitcode=86:halt_on_error=1:print_stacktrace=1

# run LABEL CMD...: runs CMD with the time limit, standard output to $OUT
# (default /dev/null), and records a failure. Sets RC.
run() {
  local label=$1 err
  shift
  err=$(mktemp "$R/err.XXXXXX")
  timeout -k 5 "$TIME_LIMIT" "$@" > "${OUT:-/dev/null}" 2> "$err" < /dev/null
  RC=$?
  local why=""
  if grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: [A-Za-z]*Sanitizer' "$err"; then
    why="sanitizer report"
  elif [ $RC -eq 124 ] || [ $RC -eq 137 ]; then
    why="time-out after ${TIME_LIMIT} s"
  elif [ $RC -ge 128 ]; then
    why="signal $((RC - 128))"
  elif [ $RC -gt 4 ]; then
    why="exit code $RC"
  fi
  if [ "${VERBOSE:-0}" = 1 ]; then
    echo "[$RC] $label"; { head -c 600 "$err"; echo; } | sed 's/^/    /'
  fi
  if [ -n "$why" ]; then
    { echo "FAIL ($why): $label: $*"; grep -m 12 -E 'ERROR:|runtime error|SUMMARY|#[0-9] ' "$err" | sed 's/^/    /'; } >> "$FAILURES"
  fi
  rm -f "$err"
}

# expect_failure LABEL: the last command must not have reported success.
expect_failure() {
  [ "$RC" -ne 0 ] || echo "FAIL (success reported): $1" >> "$FAILURES"
}

# ---------------------------------------------------------------- damaged databases

make_bases() {
  local b="$R/base"
  mkdir -p "$b"
  printf '测试密码\n' > "$b/sample.pw"
  cp "$SRC/tests/fixtures/vldb/sample.vldb" "$b/sample.vldb"
  # The sample after our own writer has changed and packed it.
  cp "$b/sample.vldb" "$b/packed.vldb"
  cp "$b/sample.pw" "$b/packed.pw"
  printf 'one more\n' | "$C" add "$b/packed.vldb" 1 0 "再一个" --password-file "$b/packed.pw" > /dev/null
  "$C" rm "$b/packed.vldb" 3 --password-file "$b/packed.pw" > /dev/null
  "$C" pack "$b/packed.vldb" --password-file "$b/packed.pw" > /dev/null
  # A database made from scratch: every plain kind, a file, a folder chain, the bin.
  printf 'pw\n' > "$b/made.pw"
  "$C" create "$b/made.vldb" --new-password-file "$b/made.pw" > /dev/null
  local p=0 k
  for k in 1 2 3 4 5; do
    p=$(printf '<p>第%s层 caf&eacute; &euro;</p>' $k | "$C" add "$b/made.vldb" "$p" 0 "层 $k" --password-file "$b/made.pw")
  done
  head -c 30000 /dev/urandom > "$b/blob"
  "$C" add "$b/made.vldb" "$p" 3 "file.bin" "$b/blob" --password-file "$b/made.pw" > /dev/null
  printf 'http://example.org/\n' | "$C" add "$b/made.vldb" 0 2 "网址" --password-file "$b/made.pw" > /dev/null
  printf '{\\rtf1 Hello \\b world\\b0}' | "$C" add "$b/made.vldb" 0 6 "RTF" --raw --password-file "$b/made.pw" > /dev/null
  local gone
  gone=$(printf 'gone\n' | "$C" add "$b/made.vldb" 0 0 "删除的" --password-file "$b/made.pw")
  "$C" rm "$b/made.vldb" "$gone" --password-file "$b/made.pw" > /dev/null
  for f in "$b"/*.vldb; do
    "$C" check "$f" --password-file "${f%.vldb}.pw" > /dev/null || { echo "base $f does not check" >&2; exit 1; }
  done
}

# Writes COUNT damaged files into $R/db: NNN-KIND.vldb with NNN.pw beside it.
make_damaged() {
  python3 - "$R/base" "$SRC/tests/fixtures/metakit" "$R/db" "$COUNT" "$SEED" << 'EOF'
import os, random, shutil, struct, sys
base, mkdir, out, count, seed = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
vldb = [os.path.join(base, f) for f in sorted(os.listdir(base)) if f.endswith(".vldb")]
mk = [os.path.join(mkdir, f) for f in sorted(os.listdir(mkdir)) if f.endswith(".mk")]
mk = [f for f in mk if 16 <= os.path.getsize(f) < 200000]

def flips(rng, d):
    for _ in range(rng.randint(1, 8)):
        i = rng.randrange(len(d)); d[i] ^= rng.randint(1, 255)
    return d
def truncate(rng, d, n):
    # Offsets spread over the whole file, the first and last bytes more often.
    k = n % 4
    if k == 0: cut = rng.randrange(len(d))
    elif k == 1: cut = rng.randrange(min(64, len(d)))
    elif k == 2: cut = len(d) - 1 - rng.randrange(min(64, len(d)))
    else: cut = len(d) * (n % 97) // 97
    return d[:cut]
def zeroed(rng, d):
    s = rng.randrange(len(d)); n = rng.choice([1, 4, 16, 256, 4096])
    d[s:s + n] = bytes(len(d[s:s + n])); return d
def swapped(rng, d):
    n = rng.choice([8, 64, 512, 4096]); n = min(n, len(d) // 2)
    a = rng.randrange(len(d) - 2 * n + 1); b = rng.randrange(a + n, len(d) - n + 1)
    d[a:a + n], d[b:b + n] = d[b:b + n], d[a:a + n]; return d
def header(rng, d):
    # The header (magic, byte order, offset of the tail) and the tail at the end.
    spots = list(range(min(16, len(d)))) + list(range(max(0, len(d) - 16), len(d)))
    for _ in range(rng.randint(1, 3)):
        i = rng.choice(spots)
        d[i] = rng.choice([0, 0xff, 0x80, 0x7f, d[i] ^ (1 << rng.randrange(8))])
    return d
def integers(rng, d):
    for _ in range(rng.randint(1, 3)):
        i = rng.randrange(max(1, len(d) - 4))
        v = rng.choice([0xffffffff, 0x7fffffff, 0x80000000, 0, len(d), len(d) + 1, 0x10000000])
        d[i:i + 4] = struct.pack("<I", v)
    return d
def shifted(rng, d):
    i = rng.randrange(len(d))
    if rng.random() < 0.5: d[i:i] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 64)))
    else: del d[i:i + rng.randint(1, 64)]
    return d
def garbage(rng, d):
    n = max(8, len(d) + rng.randint(-len(d) // 2, len(d) // 2))
    g = bytearray(rng.randrange(256) for _ in range(n))
    if rng.random() < 0.5: g[:8] = d[:8]           # a plausible header over random bytes
    if rng.random() < 0.5: g[-16:] = d[-16:]        # and a plausible tail
    return g

kinds = [("flip", flips), ("trunc", None), ("zero", zeroed), ("swap", swapped), ("header", header),
         ("int", integers), ("shift", shifted), ("garbage", garbage)]
for n in range(count):
    rng = random.Random(seed * 1000003 + n)
    src = mk[n // 5 % len(mk)] if n % 5 == 4 else vldb[n % len(vldb)]
    d = bytearray(open(src, "rb").read())
    name, f = kinds[n % len(kinds)]
    d = truncate(rng, d, n // len(kinds)) if f is None else f(rng, d)
    stem = "%03d-%s-%s" % (n, os.path.basename(src).rsplit(".", 1)[0], name)
    open(os.path.join(out, stem + ".vldb"), "wb").write(d)
    pw = src[:-5] + ".pw" if src.endswith(".vldb") else os.path.join(base, "sample.pw")
    shutil.copy(pw, os.path.join(out, stem + ".pw"))
EOF
}

# All commands on one damaged database.
run_damaged() {
  local db=$1 pw=${1%.vldb}.pw name id w x
  name=$(basename "$db")
  x="$R/x-$name"
  mkdir -p "$x"
  run "$name dump" "$C" dump "$db"
  run "$name ls" "$C" ls "$db" --password-file "$pw"
  run "$name ls bin" "$C" ls "$db" -1 --json --password-file "$pw"
  run "$name tree" "$C" tree "$db" --password-file "$pw"
  for id in 1 2 3 4 5 6 7 8 9; do
    run "$name cat $id" "$C" cat "$db" "$id" --password-file "$pw"
  done
  for id in 6; do
    run "$name cat --text $id" "$C" cat "$db" "$id" --text --password-file "$pw"
  done
  run "$name grep" "$C" grep "$db" "e" --ignore-case --password-file "$pw"
  run "$name check" "$C" check "$db" --password-file "$pw"
  run "$name export" "$C" export "$db" 0 "$x/out" --keep-empty-dirs --password-file "$pw"
  w="$x/w.vldb"
  cp "$db" "$w"
  printf 'new text\n' > "$x/new.txt"
  printf 'pw2\n' > "$x/new.pw"
  run "$name add" "$C" add "$w" 1 0 "新" "$x/new.txt" --password-file "$pw"
  run "$name set" "$C" set "$w" 2 "$x/new.txt" --password-file "$pw"
  run "$name mv" "$C" mv "$w" 4 0 --password-file "$pw"
  run "$name rm" "$C" rm "$w" 5 --password-file "$pw"
  run "$name rm in bin" "$C" rm "$w" 7 --password-file "$pw"
  if [ "$REPAIR" = 1 ]; then
    run "$name check --repair" "$C" check "$w" --repair --password-file "$pw"
  fi
  run "$name pack" "$C" pack "$w" --password-file "$pw"
  run "$name passwd" "$C" passwd "$w" --password-file "$pw" --new-password-file "$x/new.pw"
  run "$name check after writes" "$C" check "$w" --password-file "$x/new.pw"
  rm -rf "$x"
}

damaged_half() {
  make_bases
  make_damaged
  local all=("$R"/db/*.vldb) i=0 db
  echo "damaged databases: ${#all[@]} (seed $SEED)"
  for db in "${all[@]}"; do
    run_damaged "$db" &
    i=$((i + 1))
    [ $((i % JOBS)) -eq 0 ] && wait
    [ $((i % 50)) -eq 0 ] && echo "  $i done, $(grep -c '^FAIL' "$FAILURES") failures"
  done
  wait
}

# ---------------------------------------------------------------- hostile folder trees

# The deep chain is made with mkdirat, since its path is far beyond PATH_MAX.
make_chain() {
  python3 - "$1" "$2" << 'EOF'
import os, sys
root, depth = sys.argv[1], int(sys.argv[2])
os.mkdir(root)
fd = os.open(root, os.O_DIRECTORY)
for i in range(depth):
    os.mkdir("d", dir_fd=fd)
    nfd = os.open("d", os.O_DIRECTORY, dir_fd=fd)
    os.close(fd); fd = nfd
f = os.open("bottom.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
os.write(f, b"at the bottom\n"); os.close(f); os.close(fd)
EOF
}

make_hostile() {
  local h=$1
  mkdir -p "$h/plain/sub" "$h/unreadable-dir"
  printf 'hello\n' > "$h/plain/a.txt"
  printf 'in sub\n' > "$h/plain/sub/b.txt"
  printf 'secret\n' > "$h/unreadable-dir/inside.txt"
  printf 'secret\n' > "$h/unreadable.txt"
  mkfifo "$h/fifo"
  ln -s /dev/zero "$h/zero-link"
  ln -s /dev/urandom "$h/urandom-link"
  ln -s /proc/self/status "$h/proc-link"
  mknod "$h/chardev" c 1 5 2> /dev/null || echo "  (mknod not permitted: no character device in the tree)"
  python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$h/socket"
  ln -s . "$h/self-loop"
  ln -s .. "$h/plain/up-loop"
  ln -s "$h" "$h/plain/absolute-loop"
  ln -s loop-b "$h/loop-a"
  ln -s loop-a "$h/loop-b"
  ln -s /nonexistent/target "$h/dangling"
  ln -s plain "$h/plain-link"
  printf 'latin-1\n' > "$h/$(printf 'caf\xe9.txt')"
  printf 'gb18030\n' > "$h/$(printf '\xb2\xe2\xca\xd4.txt')"
  printf 'undecodable\n' > "$h/$(printf '\xff\xfe\x80.txt')"
  printf 'escape\n' > "$h/$(printf '\e]0;PWNED\a')"
  printf 'newline\n' > "$h/$(printf 'two\nlines')"
  chmod 000 "$h/unreadable-dir" "$h/unreadable.txt"
}

# Builds a node chain DEPTH deep in database $1 (password file $2) below node 0 by
# importing a 1,000-deep folder chain again and again under the deepest node so far.
make_deep_database() {
  local db=$1 pw=$2 chunk="$R/folders/chunk" parent=0 made=0 mark
  make_chain "$chunk" 1000
  [ ${#as[@]} -gt 0 ] && chown -R 65534:65534 "$chunk"
  while [ $made -lt "$DEPTH" ]; do
    run "deep database: import at depth $made" "${as[@]}" "$C" import "$db" "$parent" "$chunk" --password-file "$pw"
    [ "$RC" -eq 0 ] || return
    # Ids follow the walk: the chain's folders, then its file, then the marker.
    mark=$("${as[@]}" "$C" add "$db" 0 0 mark --password-file "$pw" < /dev/null)
    [ -n "$mark" ] || { echo "FAIL (deep database): no marker node added at depth $made" >> "$FAILURES"; return; }
    parent=$((mark - 2))
    "${as[@]}" "$C" rm "$db" "$mark" --password-file "$pw" && "${as[@]}" "$C" rm "$db" "$mark" --password-file "$pw"
    made=$((made + 1001))
  done
  DEEPEST=$parent
}

# A database with a node chain DEPTH deep: every command over it.
deep_cases() {
  echo "  making a database with a node chain $DEPTH deep"
  local f=$1 D="$1/d.vldb" TIME_LIMIT=$DEEP_TIME_LIMIT H=(--password-file "$1/pw")
  run "create deep" "${as[@]}" "$C" create "$D" --new-password-file "$f/pw"
  DEEPEST=""
  make_deep_database "$D" "$f/pw"
  if [ -n "$DEEPEST" ]; then
    run "deep: tree" "${as[@]}" "$C" tree "$D" "${H[@]}"
    run "deep: ls" "${as[@]}" "$C" ls "$D" "$DEEPEST" "${H[@]}"
    run "deep: grep" "${as[@]}" "$C" grep "$D" "bottom" "${H[@]}"
    run "deep: check" "${as[@]}" "$C" check "$D" "${H[@]}"
    [ "$RC" -eq 0 ] || echo "FAIL (check of the deep database): exit $RC" >> "$FAILURES"
    run "deep: export" "${as[@]}" "$C" export "$D" 1 "$f/deep-out" --keep-empty-dirs "${H[@]}"
    run "deep: export again --no-overwrite" "${as[@]}" "$C" export "$D" 1 "$f/deep-out" --no-overwrite "${H[@]}"
    run "deep: mv bottom to the top" "${as[@]}" "$C" mv "$D" "$DEEPEST" 0 "${H[@]}"
    run "deep: mv top under its own descendant" "${as[@]}" "$C" mv "$D" 1 "$((DEEPEST - 1))" "${H[@]}"
    expect_failure "moving a node under its own descendant reported success"
    run "deep: rm top" "${as[@]}" "$C" rm "$D" 1 "${H[@]}"
    run "deep: rm top from the bin" "${as[@]}" "$C" rm "$D" 1 "${H[@]}"
    run "deep: pack" "${as[@]}" "$C" pack "$D" "${H[@]}"
    run "deep: check after removal" "${as[@]}" "$C" check "$D" "${H[@]}"
    [ "$RC" -eq 0 ] || echo "FAIL (check after removing the deep chain): exit $RC" >> "$FAILURES"
  fi
}

folders_half() {
  local f="$R/folders" top
  mkdir -p "$f"
  make_hostile "$f/hostile"
  echo "  making a $DEPTH-deep chain"
  make_chain "$f/deep" "$DEPTH"
  printf 'pw\n' > "$f/pw"
  printf 'pw2\n' > "$f/pw2"
  [ ${#as[@]} -gt 0 ] && chown -R 65534:65534 "$f"
  local H=(--password-file "$f/pw")
  run "create" "${as[@]}" "$C" create "$f/h.vldb" --new-password-file "$f/pw"
  top=$("${as[@]}" "$C" add "$f/h.vldb" 0 0 top "${H[@]}" < /dev/null)
  run "import hostile (stops)" "${as[@]}" "$C" import "$f/h.vldb" "$top" "$f/hostile" "${H[@]}"
  expect_failure "import of the hostile tree without --skip-errors reported success"
  OUT="$f/ls-after-failed" run "ls after failed import" "${as[@]}" "$C" ls "$f/h.vldb" "$top" "${H[@]}"
  [ -s "$f/ls-after-failed" ] && echo "FAIL (written by a failed import): $(cat "$f/ls-after-failed")" >> "$FAILURES"
  run "import hostile --skip-errors" "${as[@]}" "$C" import "$f/h.vldb" "$top" "$f/hostile" --skip-errors "${H[@]}"
  run "import fifo alone" "${as[@]}" "$C" import "$f/h.vldb" "$top" "$f/hostile/fifo" "${H[@]}"
  expect_failure "import of a FIFO reported success"
  run "import /dev/zero" "${as[@]}" "$C" import "$f/h.vldb" "$top" /dev/zero "${H[@]}"
  expect_failure "import of /dev/zero reported success"
  run "import deep folder chain (stops)" "${as[@]}" "$C" import "$f/h.vldb" "$top" "$f/deep" "${H[@]}"
  run "import deep folder chain --skip-errors" "${as[@]}" "$C" import "$f/h.vldb" "$top" "$f/deep" --skip-errors "${H[@]}"
  run "export hostile" "${as[@]}" "$C" export "$f/h.vldb" "$top" "$f/out" --keep-empty-dirs "${H[@]}"
  run "export hostile again --no-overwrite" "${as[@]}" "$C" export "$f/h.vldb" "$top" "$f/out" --no-overwrite "${H[@]}"
  run "export hostile --files-only" "${as[@]}" "$C" export "$f/h.vldb" "$top" "$f/out2" --files-only "${H[@]}"
  run "check hostile" "${as[@]}" "$C" check "$f/h.vldb" "${H[@]}"
  [ "$RC" -eq 0 ] || echo "FAIL (check of the imported hostile tree): exit $RC" >> "$FAILURES"

  deep_cases "$f"

  OUT=/dev/full run "cat into /dev/full" "${as[@]}" "$C" cat "$f/h.vldb" "$top" "${H[@]}"
  expect_failure "cat into /dev/full reported success"
  OUT=/dev/full run "tree into /dev/full" "${as[@]}" "$C" tree "$f/h.vldb" "${H[@]}"
  expect_failure "tree into /dev/full reported success"
  run "pack" "${as[@]}" "$C" pack "$f/h.vldb" "${H[@]}"
  run "passwd" "${as[@]}" "$C" passwd "$f/h.vldb" "${H[@]}" --new-password-file "$f/pw2"
  run "check after passwd" "${as[@]}" "$C" check "$f/h.vldb" --password-file "$f/pw2"
  [ "$RC" -eq 0 ] || echo "FAIL (check after pack and passwd): exit $RC" >> "$FAILURES"
  local bad
  for bad in /dev/zero /dev/urandom "$f/hostile" "$f/hostile/zero-link" /nonexistent; do
    run "--password-file $bad" "${as[@]}" "$C" ls "$f/h.vldb" --password-file "$bad"
    expect_failure "--password-file $bad reported success"
    run "create --new-password-file $bad" "${as[@]}" "$C" create "$f/n.vldb" --new-password-file "$bad"
    expect_failure "create --new-password-file $bad reported success"
    [ -e "$f/n.vldb" ] && echo "FAIL (file made): create --new-password-file $bad" >> "$FAILURES"
    rm -f "$f/n.vldb"
  done
}

# Root reads everything: the folder cases run as nobody so that unreadable entries stay unreadable.
as=()
[ "$(id -u)" = 0 ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
REPAIR=0
"$C" check --help 2>&1 | grep -q -- --repair && REPAIR=1
start=$(date +%s)
if [ "$ONLY" != folders ]; then
  damaged_half
fi
if [ "$ONLY" != damaged ]; then
  echo "hostile folder trees"
  folders_half
fi
echo "time: $(( $(date +%s) - start )) s"
if [ -s "$FAILURES" ]; then
  cat "$FAILURES"
  echo "$(grep -c '^FAIL' "$FAILURES") failures"
  exit 1
fi
echo "no failures"
