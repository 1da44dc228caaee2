#!/usr/bin/env bash
# The demo's helpers: the VNC screen listens on loopback only and stops with its signal;
# the base URL is set in User.ini without losing anything else in it.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- set-base-url keeps the rest of the file ---
ini=$work/User.ini
printf '[CurUser]\ncurname=demo\n\n[Domain]\nname=http://old\ncafile=ca.pem\n\n[UserInfo]\n1\\user_name=demo\nsize=1\n' >"$ini"
"$here/devkit/set-base-url" "$ini" http://127.0.0.1:18080 || fail "set-base-url failed"
grep -qx 'name=http://127.0.0.1:18080' "$ini" || fail "base URL not set: $(cat "$ini")"
[ "$(grep -c '^name=' "$ini")" -eq 1 ] || fail "two base URLs: $(cat "$ini")"
for line in 'curname=demo' 'cafile=ca.pem' '1\user_name=demo' 'size=1'; do
  grep -qxF "$line" "$ini" || fail "lost \"$line\""
done
[ "$(stat -c %a "$ini")" = 600 ] || fail "User.ini mode $(stat -c %a "$ini")"
"$here/devkit/set-base-url" "$work/new.ini" http://x:1 && grep -qx 'name=http://x:1' "$work/new.ini" \
  || fail "a new User.ini gets no base URL"

# --- the screen: every listening socket of its processes is on loopback ---
"$here/devkit/demo-display" >"$work/ready" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do grep -q '^ready' "$work/ready" && break; sleep 0.1; done
line=$(cat "$work/ready")
[ -n "$line" ] || { kill "$pid"; fail "no ready line: $(cat "$work/err")"; }
xvfb=$(sed -n 's/.* xvfb=\([0-9]*\).*/\1/p' <<<"$line")
vnc=$(sed -n 's/.* vnc_pid=\([0-9]*\).*/\1/p' <<<"$line")
listeners=$(ss -Hltnp | grep -E "pid=($xvfb|$vnc),")
[ -n "$listeners" ] || { kill "$pid"; fail "nothing listens: $line"; }
beyond=$(awk '{print $4}' <<<"$listeners" | grep -Ev '^(127\.0\.0\.1|\[::1\]):[0-9]+$')
[ -z "$beyond" ] || { kill "$pid"; fail "listening beyond loopback: $beyond"; }
kill -TERM "$pid"; wait "$pid"
sleep 0.2
for p in $xvfb $vnc; do kill -0 "$p" 2>/dev/null && fail "process $p still runs after the stop"; done
echo "ok: $line"
