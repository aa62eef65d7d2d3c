#!/usr/bin/env bash
# Builds the Debian package: a Release build of the programs alone (no tests,
# no sanitizers) in its own build folder, with Debian's hardening flags,
# stripped, with its dependencies taken from the libraries it links.
# Leaves vidra_<version>_amd64.deb in the repository's root (or in
# $VIDRA_PACKAGE_DIR) and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="${VIDRA_PACKAGE_BUILD:-$root/build-package}"
out="${VIDRA_PACKAGE_DIR:-$root}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVIDRA_WERROR=OFF -DVIDRA_SANITIZE=OFF -DVIDRA_TESTS=OFF -DVIDRA_BENCH=OFF \
    -DVIDRA_FUZZ=OFF -DVIDRA_GUI=ON "${launcher[@]}"
cmake --build "$build" -j"${VIDRA_JOBS:-$(nproc)}"
rm -rf "$build/_CPack_Packages" "$build/deb"
(cd "$build" && cpack -G DEB -B "$build/deb")
deb=$(ls "$build"/deb/vidra_*_*.deb)
mkdir -p "$out"
cp "$deb" "$out/"
echo "$out/$(basename "$deb")"
