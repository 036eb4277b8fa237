# Shared by the project's commands: install missing Debian packages, configure and build.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

# Debian 12 packages, one list per purpose (ensure_packages takes the names of the lists).
# Building and running the units, vehicle.ssp, vehicle-sim (its report's plots) and the Python
# module:
RUN_PACKAGES=(g++ cmake ninja-build pkg-config libzip-dev libpugixml-dev libcli11-dev libtomlplusplus-dev
              nlohmann-json3-dev libssl-dev gnuplot-nox python3-dev python3-pybind11 python3-numpy)
# The tests on top of those: unit tests, schema and symbol checks, the report in a browser, the
# sweep's Slurm cluster, fuzzing, the Python tests and notebook, the Debian package:
TEST_PACKAGES=(libgtest-dev libgmock-dev libgmp-dev libxml2-utils binutils zip unzip clang libclang-rt-14-dev
               valgrind chromium slurm-wlm munge jq python3-pytest jupyter-nbconvert python3-ipykernel
               python3-matplotlib python3-pandas dpkg-dev)
# The benchmarks on top of RUN_PACKAGES:
BENCH_PACKAGES=(libbenchmark-dev valgrind)

# ensure_packages LIST... (RUN_PACKAGES, TEST_PACKAGES, BENCH_PACKAGES)
ensure_packages() {
  local missing=() list p
  for list in "$@"; do
    local -n names=$list
    for p in "${names[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    unset -n names
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
  # What this configuration leaves out (tests skipped, parts not built), each in one line.
  grep -E '^-- .*(skipped|not run|not built)' "$dir/configure.log" | grep -Ev '^-- (Check|Detecting) ' |
    sed "s|^-- |$(basename "$dir"): |" || true
  cmake --build "$dir" -j "$JOBS"
}
