#!/usr/bin/env bash
# The installed tree runs from wherever it lies. MODE install: `cmake --install` into a temporary
# prefix, then a C++ project built against its package config runs the vehicle; MODE deb:
# `cpack -G DEB`, its dependencies, and the package unpacked with dpkg-deb -x. Both run
# vehicle-sim and import the Python module from there. Exit 77: skipped.
set -euo pipefail
mode=$1 build=$2 source=$3 python=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case $mode in
  install)
    root=$work/prefix
    cmake --install "$build" --prefix "$root" >"$work/install.log"
    prefix=$root
    ;;
  deb)
    command -v dpkg-shlibdeps >/dev/null || { echo "skipped: dpkg-shlibdeps missing (dpkg-dev)"; exit 77; }
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
    deb=$(ls "$work"/*.deb)
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for library in libzip libpugixml libstdc++6 libc6 python3-numpy gnuplot; do
      [[ $depends == *"$library"* ]] || { echo "the package does not depend on $library"; exit 1; }
    done
    root=$work/root
    dpkg-deb -x "$deb" "$root"
    prefix=$root/usr
    ;;
esac

# Moved after installing: the default system is found relative to the program.
mv "$root" "$root.moved"
root=$root.moved
prefix=${prefix/#$work\/prefix/$root}
prefix=${prefix/#$work\/root/$root}
"$prefix/bin/vehicle-sim" --cycle nedc --stop-time 5 --threads 1 --no-plots --no-progress --quiet \
  --output-dir "$work/out"
grep -q "\"system\": \"$prefix/share/vehicle-sim/vehicle.ssp\"" "$work/out/summary.json"
"$prefix/bin/vehicle-sim" info "$prefix/share/vehicle-sim/fmus/KADMIR.fmu" 'fuel*' >/dev/null
if [ -n "$python" ]; then
  PYTHONPATH=$prefix/lib/python3/dist-packages "$python" - "$prefix" <<'PY'
import sys, vehiclesim
prefix = sys.argv[1]
assert vehiclesim.__file__.startswith(prefix), vehiclesim.__file__
assert str(vehiclesim.default_system()) == prefix + "/share/vehicle-sim/vehicle.ssp", vehiclesim.default_system()
r = vehiclesim.run(cycle="nedc", stop_time=5, threads=1)
assert len(r.time) == 501 and r.summary["status"] == "ok"
PY
fi
if [ "$mode" = install ]; then
  cmake -S "$source/tests/install/embed" -B "$work/embed" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/embed.log" 2>&1 ||
    { cat "$work/embed.log"; exit 1; }
  cmake --build "$work/embed" >>"$work/embed.log" || { cat "$work/embed.log"; exit 1; }
  "$work/embed/embed"
fi
echo "ok: $mode"
