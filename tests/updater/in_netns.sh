#!/bin/bash
# Runs one Windows test program in a test network namespace of its own, with
# the fixture server when a routes file is given ("-" for none).
#   in_netns.sh NAME ROUTES PROGRAM [ARG]...
set -uo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
name="$1"
routes="$2"
shift 2
opts=(--name "$name" --timeout 900)
[ "$routes" = "-" ] || opts+=(--routes "$routes")
exec "$ROOT/tests/fixture/run_in_netns.sh" "${opts[@]}" -- "$HERE/wine_test.sh" "$@"
