#!/usr/bin/env bash
# The installed packages, as a user would meet them (run after installing
# vantelo_*.deb and vantelo-lab_*.deb):
#  - the desktop entry's command starts the installed vantelo in
#    $XDG_CONFIG_HOME/vantelo (created), offscreen; it builds the sign-in window, stays
#    up and ends on SIGTERM;
#  - the installed vantelo-cli downloads a sample project from the installed lab to a
#    lab panel from an install folder it cannot write (so it unpacks where the user
#    may write).
# Run as root, the programs run as the user "nobody" (root may write anywhere).
set -u
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
home=$work/home
mkdir -p "$home/run"
# Runs a command as that user in a clean environment, in place of the calling shell (so
# that "as_user ... &" gives the command's own pid).
as_user() {
  local env=(env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_RUNTIME_DIR -u DISPLAY HOME="$home")
  if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=65534 --regid=65534 --clear-groups "${env[@]}" "$@"
  fi
  exec "${env[@]}" "$@"
}
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$home"

command -v vantelo >/dev/null || fail "vantelo is not installed"
desktop=/usr/share/applications/vantelo.desktop
[ -r "$desktop" ] || fail "no $desktop"

# --- the desktop entry starts vantelo in the per-user configuration folder ---
# The Exec line's quoting rules are the shell's double quotes: eval takes it apart.
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/\\\\/\\/g')
eval "set -- $exec_line"
as_user env XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen \
  QT_LOGGING_RULES="vantelo.ui.debug=true" "$@" >"$work/app.out" 2>&1 &
app=$!
pids+=("$app")
sleep 2
kill -0 "$app" 2>/dev/null || fail "vantelo ended at once: $(cat "$work/app.out")"
grep -q 'main sign-in window shown true' "$work/app.out" || fail "no sign-in window: $(cat "$work/app.out")"
[ -d "$home/config/vantelo" ] || fail "the desktop entry made no $home/config/vantelo"
cwd=$(readlink "/proc/$app/cwd")   # setpriv, env and sh each exec the next
[ "$cwd" = "$home/config/vantelo" ] || fail "vantelo runs in $cwd"
kill -TERM "$app"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "vantelo still runs 5 s after SIGTERM"
echo "ok: the desktop entry starts vantelo in ~/.config/vantelo, sign-in window, ends on SIGTERM"

# --- vantelo-cli: a project download against the installed lab ---
if ! command -v vantelo-cli >/dev/null; then
  echo "SKIP: vantelo-cli is not installed (not built yet), no project download checked"
  exit 0
fi
command -v vantelo-lab >/dev/null || fail "vantelo-lab is not installed"
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    [ -z "$(ss -Hltn "sport = :$p")" ] && { echo "$p"; return; }
  done
}
cloud_port=$(free_port)
relay_port=$(free_port)
mkdir -p "$work/lab"
sed -e "s/\"port\": 18080/\"port\": $cloud_port/" -e "s/\"port\": 10745/\"port\": $relay_port/" \
  /usr/share/vantelo-lab/lab.json >"$work/lab/lab.json"
(cd "$work/lab" && exec vantelo-lab --config "$work/lab/lab.json") >"$work/lab.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -n "$(ss -Hltn "sport = :$relay_port")" ] && [ -n "$(ss -Hltn "sport = :$cloud_port")" ] && break
  sleep 0.1
done
sleep 1   # the panels register with the relay
(as_user /usr/libexec/vantelo-lab/set-base-url "$home/run/User.ini" "http://127.0.0.1:$cloud_port")
zip=/usr/share/vantelo-lab/samples/projects/full/compile.zip
# Panel 860000000000111 of the lab's account demo takes the sample project.
(cd "$home/run" && as_user env VANTELO_RELAY_HOST=127.0.0.1 VANTELO_RELAY_PORT="$relay_port" \
  VANTELO_PASSWORD=demo123 timeout 120 vantelo-cli project "$zip" 860000000000111 --account demo) \
  >"$work/cli.out" 2>&1 </dev/null
rc=$?
[ "$rc" -eq 0 ] || fail "vantelo-cli exit $rc: $(cat "$work/cli.out") / lab: $(tail -5 "$work/lab.out")"
grep -q '^860000000000111  *succeeded' "$work/cli.out" || fail "no success reported: $(cat "$work/cli.out")"
for dir in "$(dirname "$(command -v vantelo-cli)")" "$(dirname "$(command -v vantelo)")"; do
  [ ! -e "$dir/compile" ] || fail "unpacked beside the installed program in $dir"
done
# The archive was unpacked into a private folder under the per-user data folder, which the
# tool removes at its end: the data folder is there, the unpacked files are not.
data=$(find "$home/.local/share" -type d -name vantelo-cli 2>/dev/null | head -1)
[ -n "$data" ] || fail "no per-user data folder for vantelo-cli under $home/.local/share"
[ -z "$(find "$data" -mindepth 1 2>/dev/null | head -1)" ] || fail "left behind in $data: $(ls -A "$data")"
echo "ok: vantelo-cli downloaded $zip from an install folder it cannot write;" \
  "unpacked under $data, removed at its end"
