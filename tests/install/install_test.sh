#!/usr/bin/env bash
# Installs the build tree into a temporary prefix as a packager would, then
# checks what the installed tree gives its users: the library with its SONAME
# and header, a pkg-config file that builds and links a C caller, the programs
# and tools, and the udev rule.
#   install_test.sh BUILD_DIR SOURCE_DIR [PROGRAMS_BUILT]
set -euo pipefail
build=$1
src=$2
programs=${3:-ON}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

pc=$(find "$prefix" -name QV_Standard.pc -path '*/pkgconfig/*' | head -n 1)
[ -n "$pc" ] || fail "no QV_Standard.pc installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs QV_Standard) || fail "pkg-config cannot read $pc"
case "$flags" in *"$prefix"*) ;; *) fail "pkg-config points outside the install: $flags" ;; esac

lib=$(find "$prefix" -name 'libQV_Standard.so.*.*.*' | head -n 1)
[ -n "$lib" ] || fail "no versioned library installed"
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
[ "$soname" = "libQV_Standard.so.1" ] || fail "SONAME is '$soname'"
[ -e "$(dirname "$lib")/libQV_Standard.so.1" ] || fail "no SONAME link beside $lib"
[ -f "$prefix/include/QV_Standard.h" ] || fail "no header installed"
[ -f "$prefix/lib/udev/rules.d/60-quorvane.rules" ] || fail "no udev rule installed"
[ -x "$prefix/bin/qvsim" ] || fail "no qvsim installed"

# A C caller compiled and linked with nothing but what pkg-config says.
# shellcheck disable=SC2086
cc -std=c11 -Wall -Werror -o "$prefix/caller" "$src/tests/install/linked_caller.c" $flags \
  || fail "the C caller does not build with: $flags"
out=$(LD_LIBRARY_PATH=$(dirname "$lib") QV_SIM=current "$prefix/caller") || fail "the C caller failed: $out"
grep -q '^found /sim/hidraw0 ' <<<"$out" || fail "the C caller found no controller: $out"
grep -q '^identity 1 EE' <<<"$out" || fail "the C caller got no identity: $out"

if [ "$programs" = "ON" ]; then
  for p in VCXMSet QVDraw3 vcxmsg; do
    [ -x "$prefix/bin/$p" ] || fail "no $p installed"
  done
  # The installed program finds the installed library (../lib beside bin/): an
  # unattended pair it cannot run together ("-os" with "-sr") then ends with 3
  # (not carried out), where a library it cannot load would end it with 2.
  # shellcheck source=../support/own_session.sh
  . "$src/tests/support/own_session.sh"
  own_session "$prefix/session"
  rc=0
  QT_QPA_PLATFORM=offscreen QV_SIM=demo "$prefix/bin/VCXMSet" -os -sr >/dev/null 2>&1 </dev/null || rc=$?
  [ $rc -eq 3 ] || fail "the installed VCXMSet -os -sr ended with $rc (2: it did not find the installed library)"
fi
echo "install test: $prefix holds a working installation"
