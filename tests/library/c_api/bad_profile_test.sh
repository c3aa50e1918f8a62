#!/usr/bin/env bash
# A mistyped QV_SIM: the library says so once on stderr at load and reaches no
# real device in place of the simulated ones; scripts/run refuses to start the
# program, with the simulator's reason and exit status 2.
#   bad_profile_test.sh C_API_SMOKE LIBRARY SOURCE_DIR BUILD_DIR
set -uo pipefail
smoke=$1 lib=$2 src=$3 build=$4
fail() { echo "bad profile test: $*" >&2; exit 1; }

session=$(mktemp -d)
err="$session/stderr"
trap 'rm -rf "$session"' EXIT
# What scripts/run would start runs apart from the user's VCXMSet.
# shellcheck source=../../support/own_session.sh
. "$src/tests/support/own_session.sh"
own_session "$session"
out=$(QV_SIM=nosuch "$smoke" "$lib" 2>"$err")
rc=$?
[ $rc -ne 0 ] || fail "the caller found a controller with QV_SIM=nosuch: $out"
grep -q '^no controller' <<<"$out" || fail "expected no controller, got: $out"
[ "$(grep -c . "$err")" -eq 1 ] || fail "expected one line on stderr, got: $(cat "$err")"
grep -q "^QV_Standard: QV_SIM: profile 'nosuch' is no built-in profile" "$err" || fail "stderr says: $(cat "$err")"

out=$(BUILD_DIR=$build QV_SIM=nosuch "$src/scripts/run" 2>&1 </dev/null)
rc=$?
[ $rc -eq 2 ] || fail "scripts/run with QV_SIM=nosuch ended with $rc: $out"
grep -q "qvsim: profile 'nosuch' is no built-in profile" <<<"$out" || fail "scripts/run says: $out"
grep -q "VCXMSet not started" <<<"$out" || fail "scripts/run says: $out"
exit 0
