#!/usr/bin/env bash
# Runs an installed Grinsnap the way a user of a read-only system install does.
#
#   installed_program_test.sh --build BUILD_DIR SOURCE_DIR
#       installs the build into a temporary prefix first and checks that the
#       prefix holds exactly the files an install must bring;
#   installed_program_test.sh --prefix PREFIX SOURCE_DIR
#       uses a prefix that is already there (an unpacked package's usr/).
#
# The prefix is then made read-only, and the programs run from it with a fresh
# home: grinsnap-cli shows its version, lists the library, applies a template
# and finds a face with the installed cascade; grinsnap starts on Qt's
# offscreen platform and keeps running. As root the programs run as nobody, so
# that the read-only bits hold; either way the prefix must come out unchanged,
# and the user's template lists must be in the XDG data folder of the new home.
set -euo pipefail

mode=$1 target=$2 source=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/grinsnap-installed.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

case $mode in
  --build)
    prefix=$work/prefix
    "${CMAKE:-cmake}" --install "$target" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; exit 1; }
    # Exactly the listed files, data/ in share/grinsnap and the cascade's link.
    {
      grep -v '^#' "$source/dist/installed-files.txt"
      (cd "$source/data" && find . -type f -printf 'share/grinsnap/%P\n')
      if [ -e "$target/bin/media/Configurations/haarcascade_frontalface_alt2.xml" ]; then
        echo share/grinsnap/media/Configurations/haarcascade_frontalface_alt2.xml
      fi
    } | sort >"$work/expected"
    (cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n') | sort >"$work/installed"
    if ! diff "$work/expected" "$work/installed" >"$work/files.diff"; then
      fail "the installed files differ from the expected ones (< missing, > unexpected):"
      cat "$work/files.diff" >&2
    fi
    ;;
  --prefix) prefix=$target ;;
  *) echo "usage: $0 --build BUILD_DIR SOURCE_DIR | --prefix PREFIX SOURCE_DIR" >&2; exit 2 ;;
esac

home=$work/home
mkdir -p "$home" "$work/out"
cp "$source/tests/data/photos/coffee.png" "$source/tests/data/photos/astronaut.png" "$work/"
chmod -R a-w "$prefix"
snapshot() { (cd "$prefix" && find . -printf '%p %y %s %m %T@\n' | sort); }
snapshot >"$work/before"

run_as=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  chown -R nobody "$home" "$work/out"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
# A fresh session: no XDG variables, nothing inherited but the locale.
installed() {
  "${run_as[@]}" env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 GRINSNAP_THREADS=2 "$@"
}
expect() {  # expect EXIT_CODE LOG COMMAND...: runs it, keeps its output in LOG
  local want=$1 log=$2 got=0
  shift 2
  installed "$@" >"$log" 2>&1 || got=$?
  if [ "$got" -ne "$want" ]; then
    fail "'$*' exited with $got, not $want:"
    cat "$log" >&2
    return 1
  fi
}

cli=$prefix/bin/grinsnap-cli
if expect 0 "$work/version.txt" "$cli" --version; then
  grep -q "^grinsnap-cli [0-9]" "$work/version.txt" || fail "--version printed: $(cat "$work/version.txt")"
fi
if expect 0 "$work/names.txt" "$cli" list --names; then
  grep -qx "Sepia" "$work/names.txt" || fail "'list --names' does not name Sepia: $(head -5 "$work/names.txt")"
fi
if expect 0 "$work/apply.txt" "$cli" apply Sepia "$work/coffee.png" -o "$work/out/sepia.png" --size 160x120 --seed 1; then
  [ "$(head -c 8 "$work/out/sepia.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "apply wrote no PNG picture"
fi
if [ -e "$prefix/share/grinsnap/media/Configurations/haarcascade_frontalface_alt2.xml" ]; then
  expect 0 "$work/faces.txt" "$cli" faces "$work/astronaut.png" || true
fi
lists=$home/.local/share/Velmora/Grinsnap/Templates
[ -n "$(find "$lists" -name template.cfg 2>/dev/null)" ] ||
  fail "no template lists in the new home's data folder ($lists)"

if [ -x "$prefix/bin/grinsnap" ]; then
  # The studio runs until it is stopped; it must still run after a few seconds.
  got=0
  installed QT_QPA_PLATFORM=offscreen timeout 4 "$prefix/bin/grinsnap" "$work/coffee.png" >"$work/gui.txt" 2>&1 ||
    got=$?
  [ "$got" -eq 124 ] || { fail "grinsnap ended with $got before it was stopped:"; cat "$work/gui.txt" >&2; }
fi

snapshot >"$work/after"
if ! diff "$work/before" "$work/after" >"$work/prefix.diff"; then
  fail "the programs changed their read-only prefix:"
  cat "$work/prefix.diff" >&2
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed program: every check passed (prefix $prefix)"
