# Shared by the project's commands: install missing Debian packages, configure and build.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

# Debian 12 packages the build, the tests, the master and the benchmarks need.
PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev
          libzip-dev libpugixml-dev libcli11-dev libtomlplusplus-dev gnuplot-nox libxml2-utils binutils zip unzip
          clang libclang-rt-14-dev valgrind nlohmann-json3-dev libssl-dev chromium
          slurm-wlm munge jq)

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "error: run as root to install packages (or install them yourself): ${missing[*]}" >&2
      exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 || {
    cat "$dir/configure.log" >&2
    exit 1
  }
  cmake --build "$dir" -j "$JOBS"
}
