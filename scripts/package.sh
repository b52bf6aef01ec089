#!/usr/bin/env bash
# Builds the Debian package dorvan_<version>_<architecture>.deb in Release, in a build folder
# of its own (build-package), without tests or benchmarks, and leaves it in the project
# folder (or in the folder given as the first argument), and beside it the server's package
# dorvan-server_<version>_<architecture>.deb. Prints the first package's path.
#   ./scripts/package.sh && sudo apt install ./dorvan_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p "${1:-.}"
output=$(realpath "${1:-.}")
./scripts/install-deps.sh >&2

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The compiler and linker flags are Debian's, with every hardening feature. dorvan-search
# links the system's shared ICU, PCRE2 and zlib here, as packaged programs do: they then get
# the distribution's security updates, and the package holds no copies of them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The prefix is the package's (/usr): the programs name installed files by it, e.g. the
# server's search page in /usr/share/dorvan/web.
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DDORVAN_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DDORVAN_BUILD_BENCH=OFF -DDORVAN_CLI_STATIC_LIBRARIES=OFF "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build build-package -j"$(nproc)" >&2
rm -f build-package/dorvan_*.deb build-package/dorvan-server_*.deb
(cd build-package && cpack -G DEB >&2)
package=$(ls build-package/dorvan_*.deb)
# The server's package dorvan-server_<version>_<architecture>.deb goes beside it.
server_package=$(ls build-package/dorvan-server_*.deb 2>/dev/null || true)
if [ "$(realpath build-package)" != "$output" ]; then
  mv "$package" $server_package "$output/"
fi
echo "$output/$(basename "$package")"
