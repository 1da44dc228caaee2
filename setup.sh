#!/usr/bin/env bash
# Set-up on a fresh Debian 12 machine.
#   ./setup.sh demo   install, build, start the panel lab and open Vantelo against it
#   ./setup.sh test   install, build and run every test
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
mode=${1:-}

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev libqt5serialport5-dev libquazip1-qt5-dev libcpp-httplib-dev
  socat xvfb xauth fonts-wqy-microhei
  libmodbus-dev mbpoll
  g++-mingw-w64-x86-64-win32
)

install_packages() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
}

build() {
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}

run_tests() {
  cd "$root/build"
  ctest --output-on-failure -j2 --timeout 600
}

run_demo() {
  local run=$root/lab-run
  mkdir -p "$run"
  local cloud_port
  cloud_port=$(sed -n 's/.*"cloud"[^{]*{[^}]*"port"[[:space:]]*:[[:space:]]*\([0-9]*\).*/\1/p' <(tr -d '\n' < devkit/lab.json))
  cloud_port=${cloud_port:-18080}
  "$root/devkit/lab" --config "$root/devkit/lab.json" --bin "$root/build/bin" &
  lab_pid=$!
  # Stopping the set-up (or the app ending) stops the lab, and the app with it.
  trap 'kill ${app_pid:-} $lab_pid 2>/dev/null; wait ${app_pid:-} $lab_pid 2>/dev/null' EXIT
  trap 'exit 130' INT TERM
  sleep 1
  # The program reads its settings from its working directory.
  cat > "$run/User.ini" <<INI
[Domain]
name=http://127.0.0.1:$cloud_port
INI
  echo "Vantelo: sign in as demo / demo123 (more accounts in devkit/lab.json)"
  cd "$run"
  if [ -n "${DISPLAY:-}" ]; then
    "$root/build/bin/vantelo" &
  else
    xvfb-run -a -s "-screen 0 1280x900x24" "$root/build/bin/vantelo" &
  fi
  app_pid=$!
  wait $app_pid
}

case $mode in
  test) install_packages; build; run_tests ;;
  demo) install_packages; build; run_demo ;;
  *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac
