#!/usr/bin/env bash
# Checks what an install brings for the desktop and the shell:
#   desktop_files_test.sh validate SOURCE_DIR BUILD_DIR
#       the desktop entry passes desktop-file-validate, the metainfo passes
#       appstreamcli validate, and the manual pages format without warnings;
#   desktop_files_test.sh cli-docs SOURCE_DIR CLI
#       the manual page of grinsnap-cli and its bash completion know every
#       command and every option that the program's own help shows, and the
#       completion offers the library's template names.
# Exits with 77 (skipped) when a checking tool is not installed.
set -euo pipefail
mode=$1 source=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "$1 is missing (scripts/install-deps.sh installs it)"; exit 77; }; }

case $mode in
  validate)
    build=$3
    need desktop-file-validate
    need appstreamcli
    need groff
    # desktop-file-validate prints hints and warnings but fails only on errors: none of them may show.
    out=$(desktop-file-validate "$source/dist/com.velmora.Grinsnap.desktop" 2>&1) || fail "desktop-file-validate failed"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
    metainfo=$build/dist/com.velmora.Grinsnap.metainfo.xml
    # --no-net: the screenshot's address is checked for its form, not fetched.
    appstreamcli validate --no-net --explain "$metainfo" >"${TMPDIR:-/tmp}/metainfo-validate.$$" 2>&1 ||
      { fail "appstreamcli validate:"; cat "${TMPDIR:-/tmp}/metainfo-validate.$$" >&2; }
    if grep -E '^[EWI]:' "${TMPDIR:-/tmp}/metainfo-validate.$$" >&2; then fail "appstreamcli reports the issues above"; fi
    rm -f "${TMPDIR:-/tmp}/metainfo-validate.$$"
    for page in "$build"/dist/man/*.1; do
      out=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1) || fail "groff failed on $page"
      [ -z "$out" ] || fail "groff warns about $page: $out"
    done
    ;;
  cli-docs)
    cli=$3
    home=$(mktemp -d "${TMPDIR:-/tmp}/grinsnap-cli-docs.XXXXXX")
    trap 'rm -rf "$home"' EXIT
    export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config
    man=$source/dist/man/grinsnap-cli.1
    # shellcheck source=/dev/null
    source "$source/dist/completion/grinsnap-cli.bash"
    # What the completion offers after the words given (the last is being typed).
    offers() {
      COMP_WORDS=("$cli" "$@")
      COMP_CWORD=${#@}
      COMPREPLY=()
      _grinsnap_cli
      printf '%s\n' "${COMPREPLY[@]}"
    }
    mkdir "$home/empty"
    cd "$home/empty"  # file names offered come from an empty folder

    commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
    [ -n "$commands" ] || fail "no commands in grinsnap-cli --help"
    # (Offers are kept before grep -q looks at them: an early match would cut the pipe.)
    offered_commands=$(offers "")
    for command in $commands; do
      grep -qx "$command" <<<"$offered_commands" || fail "the completion does not offer the command $command"
      grep -q "^\.B grinsnap\\\\-cli $command\$" "$man" || fail "the manual page has no synopsis of $command"
      offered_options=$(offers "$command" "--")
      for option in $("$cli" "$command" --help | sed '/^Exit codes/,$d' | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u); do
        grep -qx -- "$option" <<<"$offered_options" || fail "the completion of $command does not offer $option"
        spelt=${option#--}
        spelt=${spelt//-/\\-}  # roff spells every hyphen of an option \-
        grep -qF -- "\\-\\-$spelt" "$man" || fail "the manual page does not mention $option"
      done
    done
    # Values, template names and what follows a template: what is offered after the words.
    expect_offer() {
      local want=$1 got
      shift
      got=$(offers "$@" | tr '\n' ' ' | sed 's/ $//')
      [ "$got" = "$want" ] || fail "completing '$*' offers '$got', not '$want'"
    }
    expect_offer "batch" ba
    expect_offer "jpg png bmp webp tif" batch --format ""
    expect_offer "Cyanotype" apply Cyan
    expect_offer "Cyanotype" batch cyan
    expect_offer "" apply Sepia ""
    ;;
  *) echo "usage: $0 validate SOURCE_DIR BUILD_DIR | cli-docs SOURCE_DIR CLI" >&2; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "$mode: every check passed"
