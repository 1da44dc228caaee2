#!/usr/bin/env bash
# Set-up on a fresh Debian 12 machine.
#   ./setup.sh demo   install, build, start the panel lab and open Vantelo against it
#   ./setup.sh test   install, build and run every test
#   ./setup.sh asan   install, build with AddressSanitizer+UBSan (build-asan), run every test
#   ./setup.sh tsan   install, build the threaded tests with ThreadSanitizer (build-tsan), run them
#   ./setup.sh fuzz [seconds]  install clang, build the fuzz targets (build-fuzz), run each
#                     for the given seconds (default 10)
#   ./setup.sh package  install, build the Debian packages vantelo and vantelo-lab
#                     (build-package, or $VANTELO_PACKAGE_BUILD_DIR when that names a
#                     build folder), check them with lintian
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
mode=${1:-}

# openssl makes the tests' certificates, libssl-dev serves the lab's HTTPS; the keychain
# is QtKeychain over libsecret, and the tests run gnome-keyring on a private D-Bus.
# Qt's Linguist tools build and check the translations; the toolkit's own ones follow
# the chosen language.
PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev libqt5serialport5-dev libquazip1-qt5-dev libcpp-httplib-dev
  socat xvfb xauth fonts-wqy-microhei
  libmodbus-dev mbpoll
  g++-mingw-w64-x86-64-win32
  openssl libssl-dev
  qtkeychain-qt5-dev libsecret-1-0 gnome-keyring dbus
  x11vnc iproute2
  qttools5-dev qttools5-dev-tools qttranslations5-l10n
)
# Sanitizer stages: llvm-symbolizer for readable reports; fuzzing: clang with libFuzzer.
SANITIZER_PACKAGES=(llvm)
FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm)
# Packages: lintian checks them.
PACKAGE_PACKAGES=(lintian)

# Tests that run workers on threads of their own (update worker, pass-through worker,
# their dialogs, the device window that opens them) or talk to the threaded lab cloud.
TSAN_TESTS=(
  tst_downfileobj tst_updatefiledlg tst_penetrationdlg tst_devicewindow
  tst_cloudsync tst_firmwaredownload tst_projectdownload tst_updatedlgdownload
  tst_passthrough tst_modbus tst_signin tst_devicerefresh tst_labcloud tst_cli
)

install_packages() {
  local wanted=("${PACKAGES[@]}" "$@")
  # Nothing to do when everything is there already (the later CI stages).
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
  if [ "$(grep -cx installed <<<"$status" || true)" -ne "${#wanted[@]}" ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${wanted[@]}" >/dev/null
  fi
}

build() {
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}

# Sanitizer reports of every process (tests and the lab processes they start) go to
# files; a run passes only when none was written.
check_reports() {
  local dir=$1
  if compgen -G "$dir/*" >/dev/null; then
    echo "sanitizer reports in $dir:" >&2
    for f in "$dir"/*; do echo "== $f" >&2; head -60 "$f" >&2; done
    return 1
  fi
}

run_asan() {
  local dir=$root/build-asan reports=$root/build-asan/sanitizer-reports
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTELO_SANITIZE=address >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  rm -rf "$reports" && mkdir -p "$reports"
  # Full unwinding on malloc: Qt has no frame pointers, and the leak suppressions name
  # Qt frames.
  export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:log_path=$reports/asan"
  export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
  local rc=0
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 600 -E '^mingw_') || rc=$?
  check_reports "$reports" || rc=1
  return $rc
}

run_tsan() {
  local dir=$root/build-tsan reports=$root/build-tsan/sanitizer-reports
  local targets=() t
  for t in "${TSAN_TESTS[@]}"; do
    compgen -G "$root/tests/*/$t.cpp" >/dev/null && targets+=("$t")
  done
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTELO_SANITIZE=thread >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
  rm -rf "$reports" && mkdir -p "$reports"
  # Qt is not instrumented: accesses made inside Qt's libraries are not checked (see
  # tests/sanitizers/tsan.supp for why its hand-over of queued calls needs this).
  export TSAN_OPTIONS="ignore_noninstrumented_modules=1:suppressions=$root/tests/sanitizers/tsan.supp:second_deadlock_stack=1:log_path=$reports/tsan"
  local rc=0
  (cd "$dir" && ctest --output-on-failure -j2 --timeout 600 -R "^($(IFS='|'; echo "${targets[*]}"))\$") || rc=$?
  check_reports "$reports" || rc=1
  return $rc
}

run_tests() {
  cd "$root/build"
  ctest --output-on-failure -j2 --timeout 600
}

# The packages come from a build folder of their own without the tests, or from one
# already built (CI reuses the test stage's); cpack installs what is built.
run_package() {
  local dir=${VANTELO_PACKAGE_BUILD_DIR:-$root/build-package}
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTELO_BUILD_TESTS=OFF >/dev/null
  fi
  cmake --build "$dir" -j"$(nproc)"
  rm -f "$dir"/*.deb
  (cd "$dir" && cpack -G DEB) | grep 'package:'
  lintian --fail-on error "$dir"/vantelo_*.deb "$dir"/vantelo-lab_*.deb
}

# The demo builds only what it runs: the program, its pair driver, the lab and the samples.
DEMO_TARGETS=(vantelo vspdctl lab-cloud lab-relay lab-panel lab_samples)

build_demo() {
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" -j"$(nproc)" --target "${DEMO_TARGETS[@]}"
}

run_demo() {
  local run=$root/lab-run
  mkdir -p "$run"
  local cloud_port
  cloud_port=$(sed -n 's/.*"cloud"[^{]*{[^}]*"port"[[:space:]]*:[[:space:]]*\([0-9]*\).*/\1/p' <(tr -d '\n' < devkit/lab.json))
  cloud_port=${cloud_port:-18080}
  lab_pid="" app_pid="" screen_pid=""
  # Stopping the set-up (a signal, or the app ending) stops everything it started.
  trap 'kill $app_pid $screen_pid $lab_pid 2>/dev/null; wait 2>/dev/null' EXIT
  trap 'exit 130' INT TERM
  "$root/devkit/lab" --config "$root/devkit/lab.json" --bin "$root/build/bin" &
  lab_pid=$!
  # The program reads its settings from its working directory; only the base URL is
  # set, saved accounts stay.
  "$root/devkit/set-base-url" "$run/User.ini" "http://127.0.0.1:$cloud_port"
  if [ -z "${DISPLAY:-}" ]; then
    # No screen: a virtual one, seen through VNC on this machine's loopback only.
    local ready
    ready=$(mktemp)
    "$root/devkit/demo-display" >"$ready" &
    screen_pid=$!
    for _ in $(seq 100); do grep -q '^ready' "$ready" && break; sleep 0.1; done
    grep -q '^ready' "$ready" || { echo "demo: no virtual screen" >&2; exit 1; }
    export DISPLAY
    DISPLAY=$(sed -n 's/.* display=\(:[0-9]*\).*/\1/p' "$ready")
    local vnc
    vnc=$(sed -n 's/.* vnc=\([0-9.:]*\).*/\1/p' "$ready")
    rm -f "$ready"
    echo "Vantelo runs on a virtual screen: connect a VNC viewer to $vnc on this machine"
    echo "  (from another machine: ssh -L ${vnc##*:}:127.0.0.1:${vnc##*:} <this host>, then 127.0.0.1:${vnc##*:})"
  fi
  echo "Vantelo: sign in as demo / demo123 (more accounts in devkit/lab.json); Ctrl-C stops all"
  cd "$run"
  "$root/build/bin/vantelo" &
  app_pid=$!
  wait $app_pid
}

case $mode in
  test) install_packages; build; run_tests ;;
  asan) install_packages "${SANITIZER_PACKAGES[@]}"; run_asan ;;
  tsan) install_packages "${SANITIZER_PACKAGES[@]}"; run_tsan ;;
  fuzz) install_packages "${FUZZ_PACKAGES[@]}"; "$root/tests/fuzz/run.sh" "${2:-10}" "$root/build-fuzz" ;;
  demo) install_packages; build_demo; run_demo ;;
  package) install_packages "${PACKAGE_PACKAGES[@]}"; run_package ;;
  *) echo "usage: $0 demo|test|asan|tsan|fuzz [seconds]|package" >&2; exit 2 ;;
esac
