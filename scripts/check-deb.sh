#!/usr/bin/env bash
# Checks a Grinsnap Debian package made by `cpack -G DEB`:
#   - its control fields (name, version, architecture, maintainer);
#   - its files: exactly what an install must bring (dist/installed-files.txt,
#     data/ in /usr/share/grinsnap and the face cascade's link), nothing outside
#     /usr, owned by root, programs 0755 and stripped, other files 0644;
#   - its dependencies: every shared library the programs need comes from a
#     package it depends on, opencv-data (the cascade's target) and
#     qt6-qpa-plugins are there, and apt can resolve them all (a simulated
#     `apt-get install ./grinsnap_*.deb`, which downloads nothing);
#   - the packaged desktop entry and metainfo validate, and the programs run
#     from the unpacked, read-only package with a fresh home.
# Usage: scripts/check-deb.sh grinsnap_<version>_<arch>.deb
set -euo pipefail
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 grinsnap_<version>_<arch>.deb" >&2; exit 2; }
deb=$(realpath "$1")
cd "$(dirname "$0")/.."
source_dir=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/grinsnap-deb.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"  # the unpacked programs run as nobody when this runs as root
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
field() { dpkg-deb --field "$deb" "$1"; }
package_of() { { dpkg -S "$1" 2>/dev/null || true; } | head -1 | cut -d: -f1; }

echo "== control fields"
version=$(sed -n 's/^project(Grinsnap VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(field Package)" = grinsnap ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the program's is $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
dpkg-deb --field "$deb" Package Version Architecture Section Installed-Size Depends Recommends

echo "== files"
dpkg-deb --extract "$deb" "$work/root"
[ "$(cd "$work/root" && ls -A)" = usr ] || fail "files outside /usr: $(cd "$work/root" && ls -A)"
{
  grep -v '^#' dist/installed-files.txt
  (cd data && find . -type f -printf 'share/grinsnap/%P\n')
  echo share/grinsnap/media/Configurations/haarcascade_frontalface_alt2.xml
} | sort >"$work/expected"
(cd "$work/root/usr" && find . \( -type f -o -type l \) -printf '%P\n') | sort >"$work/packaged"
diff "$work/expected" "$work/packaged" >&2 || fail "the packaged files differ from the expected ones (< missing, > unexpected)"
echo "$(wc -l <"$work/packaged") files"
owners=$(dpkg-deb --contents "$deb" | awk '{ print $2 }' | sort -u)
[ "$owners" = root/root ] || fail "files not owned by root/root: $owners"
for program in grinsnap grinsnap-cli; do
  file=$work/root/usr/bin/$program
  [ "$(stat -c %a "$file")" = 755 ] || fail "$program has mode $(stat -c %a "$file")"
  kind=$(file -b "$file")
  [[ $kind == *", stripped"* ]] || fail "$program is not stripped: $kind"
done
odd=$(cd "$work/root/usr" && find . -type f ! -path './bin/*' ! -perm 644 -printf '%m %P\n')
[ -z "$odd" ] || fail "data files whose mode is not 644: $odd"
for page in "$work"/root/usr/share/man/man1/*.gz; do gzip -t "$page" || fail "$page is no gzip file"; done
link=$work/root/usr/share/grinsnap/media/Configurations/haarcascade_frontalface_alt2.xml
if [ -L "$link" ]; then
  owner=$(package_of "$(readlink "$link")")
  [ "$owner" = opencv-data ] || fail "the cascade links to $(readlink "$link"), which opencv-data does not hold"
else
  fail "the face cascade is no link"
fi

echo "== dependencies"
depends=$(field Depends | tr ',' '\n' | sed -E 's/^ *//; s/ .*//; s/:.*//' | sort -u)
echo "$depends" | tr '\n' ' '
echo
needed=$(for program in grinsnap grinsnap-cli; do
  objdump -p "$work/root/usr/bin/$program" | awk '$1 == "NEEDED" { print $2 }'
done | sort -u)
libraries=$(ldconfig -p)
for soname in $needed; do
  path=$(awk -v so="$soname" '$1 == so { print $NF; exit }' <<<"$libraries")
  [ -n "$path" ] || { fail "no library $soname on this system"; continue; }
  # The real file first; with merged /usr, dpkg may know the library by its /lib name instead.
  owner=$(package_of "$(realpath "$path")")
  [ -n "$owner" ] || owner=$(package_of "$path")
  grep -qx "$owner" <<<"$depends" || fail "$soname comes from $owner, which the package does not depend on"
done
for package in opencv-data qt6-qpa-plugins; do
  grep -qx "$package" <<<"$depends" || fail "the package does not depend on $package"
done
if apt-get install --simulate --no-download --no-install-recommends "$deb" >"$work/apt.txt" 2>&1; then
  grep -E '^(Inst|Conf) ' "$work/apt.txt" || true
else
  fail "apt-get cannot resolve the dependencies:"
  cat "$work/apt.txt" >&2
fi

echo "== desktop entry and metainfo"
desktop-file-validate "$work/root/usr/share/applications/com.velmora.Grinsnap.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.velmora.Grinsnap.metainfo.xml" ||
  fail "appstreamcli validate"

echo "== the unpacked programs"
bash tests/install/installed_program_test.sh --prefix "$work/root/usr" "$source_dir" || fail "the unpacked programs"

echo "== apt-get install in a throwaway copy of this system"
# There is no clean container here; as root, an overlay over this system's own
# root takes the install (and its dpkg database) and is thrown away after.
# It runs only when the simulation above installs the package alone: then
# every dependency is there and nothing is downloaded.
others=$(grep '^Inst ' "$work/apt.txt" | grep -v '^Inst grinsnap ' || true)
if [ -n "$others" ]; then
  echo "skipped: apt would download the missing dependencies:"
  echo "$others"
elif [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
  mkdir -p "$work/overlay/upper" "$work/overlay/work" "$work/overlay/root"
  mkdir -p "$work/overlay/upper/tmp"
  cp "$deb" "$work/overlay/upper/tmp/"
  if unshare --mount --fork bash -euo pipefail -c '
      overlay=$1 deb=$2
      mount -t overlay overlay -o "lowerdir=/,upperdir=$overlay/upper,workdir=$overlay/work" "$overlay/root"
      mount -t proc proc "$overlay/root/proc"
      mount --rbind /dev "$overlay/root/dev"
      mkdir -p "$overlay/root/tmp/home"
      chroot "$overlay/root" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "/tmp/$deb"
      chroot "$overlay/root" dpkg -L grinsnap | grep -c . | sed "s/$/ paths installed/"
      chroot "$overlay/root" env -i HOME=/tmp/home PATH=/usr/bin:/bin grinsnap-cli list --names | head -3
      chroot "$overlay/root" env -i HOME=/tmp/home PATH=/usr/bin:/bin grinsnap-cli --version
    ' _ "$work/overlay" "$(basename "$deb")" >"$work/chroot.txt" 2>&1; then
    grep -vE '^(Reading|Building|The following|  |Use .apt|Recommended|Selecting|Preparing|\(Reading)' \
      "$work/chroot.txt" || true
  else
    fail "apt-get install in the overlay:"
    cat "$work/chroot.txt" >&2
  fi
else
  echo "skipped: needs root and unshare"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "$(basename "$deb"): every check passed"
