#!/usr/bin/env bash
# Sets up Grinsnap when needed and runs it.
#   With a display: the desktop studio with the sample photo.
#   Without one:    every effect of the gallery rendered on the sample photo,
#                   by grinsnap-cli, into the folder printed at the end.
# Arguments replace the sample photo (desktop) or go to grinsnap-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh default
bin=build/default/bin
sample="$bin/media/Images/default/Default1.jpg"

if [ -x "$bin/grinsnap" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  if [ $# -gt 0 ]; then exec "$bin/grinsnap" "$@"; fi
  exec "$bin/grinsnap" "$sample"
fi

if [ $# -gt 0 ]; then exec "$bin/grinsnap-cli" "$@"; fi
out="${GRINSNAP_GALLERY_DIR:-$PWD/gallery-output}"
echo "No display: rendering every template on the sample photo with grinsnap-cli."
"$bin/grinsnap-cli" gallery "$sample" -o "$out" --force
echo "Open $out/contact_sheet.png to see them all; $bin/grinsnap-cli --help shows what else it does."
