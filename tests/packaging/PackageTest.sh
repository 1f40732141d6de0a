#!/usr/bin/env bash
# The Debian package as a user meets it. cpack makes it from the build tree BUILD; dpkg -x unpacks it into
# a scratch root outside the build tree, so nothing of the source or build tree can stand in for a file the
# package lacks; its programs then run from there against each other.
#   PackageTest.sh BUILD [CPACK]
set -euo pipefail

build=$1
cpack=${2:-cpack}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quirel-package.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "package test: $*" >&2
  exit 1
}
started=$SECONDS

# ---- the package and its control fields
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$scratch"/out/quirel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one quirel_*.deb in $scratch/out"
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quirel ] || fail "Package: $(field Package)"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" == *"<"*"@"*">" ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"
echo "Depends: $depends"

dpkg -x "$deb" "$scratch/root"
root=$scratch/root
bin=$root/usr/bin
share=$root/usr/share

# Every library a program needs directly is named in Depends by the package that holds it, with the
# version dpkg-shlibdeps requires: the list follows the programs, not a hand-kept list.
[[ "$depends" == *"(>= "* ]] || fail "Depends carries no versions: $depends"
for program in quirel-viewer quirel-cli quirel-sim; do
  [ -x "$bin/$program" ] || fail "usr/bin/$program missing"
  ldd "$bin/$program" >"$scratch/ldd" || fail "ldd $program"
  for needed in $(objdump -p "$bin/$program" | awk '$1 == "NEEDED" { print $2 }'); do
    # "lib => /path (address)", or "/path (address)" for the dynamic loader
    path=$(awk -v lib="$needed" '$1 == lib && $2 == "=>" { print $3 }
                                 substr($1, length($1) - length(lib)) == "/" lib { print $1 }' "$scratch/ldd" | head -n 1)
    [ -n "$path" ] || fail "$program: $needed not found"
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null) ||
      fail "$program: no package holds $path"
    pkg=${owner%%:*}
    [[ ", $depends," == *", $pkg "* || ", $depends," == *", $pkg,"* ]] ||
      fail "$program needs $needed from $pkg, which Depends lacks"
  done
done

# ---- the files in their places
for file in \
  share/quirel/Parameters.ini \
  share/applications/com.tolvane.QuirelViewer.desktop \
  share/metainfo/com.tolvane.QuirelViewer.metainfo.xml \
  share/icons/hicolor/scalable/apps/com.tolvane.QuirelViewer.svg \
  share/icons/hicolor/16x16/apps/com.tolvane.QuirelViewer.png \
  share/icons/hicolor/48x48/apps/com.tolvane.QuirelViewer.png \
  share/icons/hicolor/256x256/apps/com.tolvane.QuirelViewer.png \
  share/man/man1/quirel-cli.1.gz \
  share/man/man1/quirel-sim.1.gz \
  share/doc/quirel/copyright \
  share/doc/quirel/manual/manual.css \
  share/doc/quirel/manual/en/index.html \
  share/doc/quirel/manual/de/index.html; do
  [ -f "$root/usr/$file" ] || fail "usr/$file missing"
done
desktop-file-validate "$share/applications/com.tolvane.QuirelViewer.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/com.tolvane.QuirelViewer.metainfo.xml" >"$scratch/as.log" 2>&1 ||
  { cat "$scratch/as.log" >&2; fail "AppStream metadata"; }
grep -q "<release version=\"$(field Version)\"" "$share/metainfo/com.tolvane.QuirelViewer.metainfo.xml" ||
  fail "the metadata's releases lack version $(field Version)"

# The manual: every local link and picture is there, every anchor names a section of its page, and both
# languages have the same sections.
for page in "$share"/doc/quirel/manual/{en,de}/index.html; do
  dir=$(dirname "$page")
  for target in $(grep -o -E '(href|src)="[^"#:]+' "$page" | sed -E 's/^(href|src)="//' | sort -u); do
    [ -e "$dir/$target" ] || fail "${page#"$root"/}: $target missing"
  done
  for anchor in $(grep -o 'href="#[^"]*"' "$page" | sed -e 's/^href="#//' -e 's/"$//' | sort -u); do
    grep -q "id=\"$anchor\"" "$page" || fail "${page#"$root"/}: no section #$anchor"
  done
  grep -o '<h[23] id="[^"]*"' "$page" | sed 's/.*id=//' >"$scratch/ids-$(basename "$dir")"
done
diff "$scratch/ids-en" "$scratch/ids-de" >/dev/null || fail "the English and German manuals have other sections"

# ---- the programs, run from the scratch root by a user with nothing of their own
export HOME=$scratch/home
unset XDG_DATA_HOME XDG_CONFIG_HOME
export LD_LIBRARY_PATH=$root/usr/lib/x86_64-linux-gnu:$root/usr/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$scratch/work"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cd "$scratch/work"

"$bin/quirel-cli" --help >"$scratch/cli-help" || fail "quirel-cli --help"
grep -q '^Usage: quirel-cli' "$scratch/cli-help" || fail "quirel-cli --help: no usage line"
"$bin/quirel-sim" --help >"$scratch/sim-help" || fail "quirel-sim --help"
"$bin/quirel-viewer" --help >"$scratch/viewer-help" || fail "quirel-viewer --help"
grep -q -- '--demo' "$scratch/viewer-help" || fail "quirel-viewer --help lacks --demo"

# The man pages say what --help says: every option, every command.
manual_text() { zcat "$1" | groff -man -Tascii -P-cbou 2>/dev/null; }
check_page() { # PAGE HELP WORD...
  local page=$1 help=$2
  shift 2
  local warnings
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1) || true
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  manual_text "$page" >"$scratch/page"
  for option in $(grep -o -E -- '--[a-z][a-z-]+' "$help" | sort -u) "$@"; do
    grep -q -F -e "$option" "$scratch/page" || fail "$(basename "$page") lacks $option"
  done
}
check_page "$share/man/man1/quirel-cli.1.gz" "$scratch/cli-help" \
  $(awk '/^Commands:/ { on = 1; next } on && /^  [a-z]+( |$)/ { print $1 }' "$scratch/cli-help")
check_page "$share/man/man1/quirel-sim.1.gz" "$scratch/sim-help" \
  $(awk '/^Commands, one per line/ { on = 1; next } /^Each command is answered/ { on = 0 }
         on && /^  [a-z]/ { print $1 }' "$scratch/sim-help")

# The CLI finds the installed catalogue (no connection is needed for the folder tree).
"$bin/quirel-cli" list >"$scratch/tree" || fail "quirel-cli list: the installed catalogue was not found"
grep -q '\[' "$scratch/tree" || fail "quirel-cli list printed no folders"

# The simulator says where to connect, and the CLI reaches it there.
"$bin/quirel-sim" --tcp 0 --no-stdin >"$scratch/sim.out" 2>"$scratch/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready$' "$scratch/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$scratch/sim.err" >&2; fail "quirel-sim ended"; }
  sleep 0.1
done
grep -q '^ready$' "$scratch/sim.out" || fail "quirel-sim did not get ready"
endpoint=$(awk '$1 == "tcp" { print $2 }' "$scratch/sim.out")
[[ "$endpoint" =~ ^127\.0\.0\.1:[0-9]+$ ]] || fail "quirel-sim printed: $(cat "$scratch/sim.out")"
"$bin/quirel-cli" --tcp "$endpoint" ident >"$scratch/ident" || fail "quirel-cli ident"
grep -q '^Revision' "$scratch/ident" || fail "ident printed: $(cat "$scratch/ident")"
"$bin/quirel-cli" --tcp "$endpoint" read 100 >"$scratch/read" || fail "quirel-cli read 100"
grep -q -E '^100 .* = [0-9]+,[0-9]+ Hz' "$scratch/read" || fail "read printed: $(cat "$scratch/read")"
kill "$sim_pid"
wait "$sim_pid" || true
sim_pid=

echo "package test: passed in $((SECONDS - started)) s"
