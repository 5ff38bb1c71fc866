#!/usr/bin/env bash
# Installs the Debian packages that gen needs when they are missing, so that
# the README's commands work on a fresh machine. Prints nothing when every
# package is there; safe to run any number of times.
#   scripts/install-deps.sh        build and run every test (the solver and
#                                  the results database too)
#   scripts/install-deps.sh --ci   also what .ci/run needs: valgrind, clang
#                                  with its sanitizer runtime, Google Benchmark
set -euo pipefail

# libsqlite3-dev and libpq-dev for the results database; the sqlite3 shell
# and gnuplot-nox for the sweep and its plot, the postgresql server for the
# database tests.
packages=(cmake make g++ libgtest-dev libeigen3-dev nlohmann-json3-dev libpugixml-dev libboost-dev
  libsqlite3-dev libpq-dev sqlite3 gnuplot-nox postgresql)
case "${1:-}" in
  "") ;;
  --ci) packages+=(valgrind clang libclang-rt-dev libbenchmark-dev) ;;
  *)
    echo "usage: scripts/install-deps.sh [--ci]" >&2
    exit 2
    ;;
esac

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$pkg")
done
((${#missing[@]})) || exit 0

as_root=()
if ((EUID != 0)); then
  if ! command -v sudo >/dev/null; then
    echo "install-deps: missing ${missing[*]}; run this script as root to install them" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
