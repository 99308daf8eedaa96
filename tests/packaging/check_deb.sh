#!/usr/bin/env bash
# Checks the Debian package as Debian's tools and a user would see it:
#   1. lintian finds no error and no warning;
#   2. the control fields: name, version, and dependencies that cover every shared
#      library the programs need;
#   3. unpacked with dpkg -x: exactly the expected files, the desktop entry and the
#      AppStream metadata pass their validators, the programs answer --help and
#      --version from there, and man reads every page without a warning;
#   4. the maintainer scripts reload the udev rules and re-trigger the hidraw nodes
#      where udev runs, and do nothing where it does not (run in a private mount
#      namespace with a fake udevadm);
#   5. a second build of the same sources in another directory, at another time,
#      gives the same bytes (skipped with PINVALE_SKIP_REBUILD=1).
#
# Usage: check_deb.sh DEB SOURCE_DIR
set -uo pipefail
deb=$(realpath "$1") source=$(realpath "$2")
# The second build must date its files as scripts/package-deb dated the first.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

version=$(sed -n 's/^project(Pinvale VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
app_id=$(sed -n 's/^set(PINVALE_APP_ID \(.*\))/\1/p' "$source/CMakeLists.txt")
[ "$(basename "$deb")" = "pinvale_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"

# 1. lintian: no error and no warning (none is kept; the informational tags left
#    are the .comment sections that strip keeps).
if lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1; then
  pass "lintian"
else
  fail "lintian"
fi
cat "$work/lintian"

# 2. Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pinvale ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), project $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
echo "Depends: $depends"

root=$work/root
dpkg -x "$deb" "$root"
tr ',' '\n' <<<"$depends" | awk '{print $1}' >"$work/depends"
before=$failures
for program in pinvale pinvale-cli pinvale-vkey; do
  for lib in $(objdump -p "$root/usr/bin/$program" | awk '/NEEDED/ {print $2}'); do
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ {print $NF; exit}')
    owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
    if [ -z "$owner" ] || ! grep -qxF "$owner" "$work/depends"; then
      fail "$program needs $lib ($owner), not in Depends"
    fi
  done
done
[ $failures = "$before" ] && pass "dependencies cover every NEEDED library"

# 3. Contents.
(cd "$root" && find . ! -type d | sed 's|^\.||' | sort) >"$work/contents"
sort >"$work/expected" <<LIST
/usr/bin/pinvale
/usr/bin/pinvale-cli
/usr/bin/pinvale-vkey
/usr/lib/udev/rules.d/70-pinvale.rules
/usr/share/applications/$app_id.desktop
/usr/share/bash-completion/completions/pinvale
/usr/share/bash-completion/completions/pinvale-cli
/usr/share/bash-completion/completions/pinvale-vkey
/usr/share/doc/pinvale/changelog.gz
/usr/share/doc/pinvale/copyright
/usr/share/icons/hicolor/64x64/apps/pinvale.png
/usr/share/man/man1/pinvale-cli.1.gz
/usr/share/man/man1/pinvale-vkey.1.gz
/usr/share/man/man1/pinvale.1.gz
/usr/share/metainfo/$app_id.metainfo.xml
LIST
if diff -u "$work/expected" "$work/contents"; then pass "contents"; else fail "contents"; fi
cmp -s "$root/usr/lib/udev/rules.d/70-pinvale.rules" "$source/packaging/70-pinvale.rules" ||
  fail "the udev rule differs from packaging/70-pinvale.rules"

desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli validate"

for program in pinvale pinvale-cli pinvale-vkey; do
  out=$("$root/usr/bin/$program" --help 2>&1)
  [ $? = 0 ] && [[ $out == "Usage: $program "* ]] || fail "$program --help: $out"
  out=$("$root/usr/bin/$program" --version 2>&1)
  [ "$out" = "$program $version" ] || fail "$program --version: $out"
done
pass "programs answer --help and --version"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  name=$(basename "$page" .1.gz)
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/page" 2>"$work/page.err"
  status=$?
  if [ $status != 0 ] || [ -s "$work/page.err" ] || ! grep -q "^NAME" "$work/page" ||
    ! grep -q "Pinvale $version" "$work/page"; then
    fail "man -l $name (exit $status)"
    cat "$work/page.err"
  fi
done
pass "man reads every page"
for completion in "$root"/usr/share/bash-completion/completions/*; do
  bash -n "$completion" || fail "bash -n $completion"
done

# 4. Maintainer scripts, with and without a running udev.
dpkg-deb -e "$deb" "$work/control"
mkdir -p "$work/bin"
cat >"$work/bin/udevadm" <<'FAKE'
#!/bin/sh
echo "udevadm $*" >>"$UDEVADM_LOG"
FAKE
chmod +x "$work/bin/udevadm"
run_script() {  # SCRIPT ARG UDEV(yes|no) -> prints the udevadm calls
  local log=$work/udevadm.log
  rm -f "$log"
  unshare -m sh -c '
    mount -t tmpfs none /run || exit 1
    if [ "$3" = yes ]; then
      mkdir /run/udev && python3 -c "import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" /run/udev/control
    fi
    PATH=$4:$PATH UDEVADM_LOG=$5 sh "$1" "$2"' _ "$work/control/$1" "$2" "$3" "$work/bin" "$log" ||
    echo "exit $?"
  [ -f "$log" ] && cat "$log"
}
reload='udevadm control --reload-rules
udevadm trigger --subsystem-match=hidraw --action=change'
while read -r script arg udev expect; do
  want=
  [ "$expect" = reload ] && want=$reload
  got=$(run_script "$script" "$arg" "$udev")
  [ "$got" = "$want" ] || fail "$script $arg with udev=$udev: got '$got'"
done <<'CASES'
postinst configure yes reload
postinst configure no nothing
postrm remove yes reload
postrm remove no nothing
postrm upgrade yes nothing
CASES
pass "maintainer scripts"

# 5. Reproducible: the tracked sources copied elsewhere (fresh time stamps), built
# again with the release preset but only the programs, packed at another time.
if [ "${PINVALE_SKIP_REBUILD:-0}" != 1 ]; then
  copy=$work/again/pinvale
  mkdir -p "$copy"
  (cd "$source" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$copy")
  start=$(date +%s)
  (cd "$copy" && CCACHE_DISABLE=1 cmake --preset release -DPINVALE_BUILD_TESTS=OFF \
    -DPINVALE_BUILD_BENCH=OFF >/dev/null && CCACHE_DISABLE=1 cmake --build --preset release \
    >"$work/again.log" 2>&1 && cd build/release && cpack -G DEB >>"$work/again.log" 2>&1) ||
    { tail -20 "$work/again.log"; fail "second build"; }
  again=$copy/build/release/package/$(basename "$deb")
  if cmp "$deb" "$again"; then
    pass "reproducible: a second build ($(($(date +%s) - start)) s) gives the same $(stat -c %s "$deb") bytes"
  else
    fail "the second build differs"
    diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$again") | head -20
    mkdir -p "$work/x1" "$work/x2" && dpkg -x "$deb" "$work/x1" && dpkg -x "$again" "$work/x2"
    diff -r "$work/x1" "$work/x2" | head -20
  fi
fi

[ $failures = 0 ] && echo "check_deb: all checks passed" || echo "check_deb: $failures failed"
[ $failures = 0 ]
