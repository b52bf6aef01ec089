#!/usr/bin/env bash
# Checks a dorvan Debian package: the files a user needs are in it (and whatever else the
# package build made), its dependencies name the Qt, ICU and PCRE2 libraries, its changelog
# belongs to its version, and lintian finds no errors (its warnings are printed).
#   ./scripts/check-package.sh dorvan_1.5.0.5_amd64.deb
set -euo pipefail
package=$(realpath "$1")
cd "$(dirname "$0")/.."
failures=0
fail() { echo "check-package: $*" >&2; failures=$((failures + 1)); }

contents=$(dpkg-deb -c "$package" | awk '{print $6}')
required=(
  ./usr/bin/dorvan ./usr/bin/dorvan-search
  ./usr/share/applications/dorvan.desktop
  ./usr/share/mime/packages/dorvan-jww.xml
  ./usr/share/icons/hicolor/scalable/apps/dorvan.svg
  ./usr/share/doc/dorvan/README.md ./usr/share/doc/dorvan/copyright
  ./usr/share/doc/dorvan/changelog.gz
  ./usr/share/man/man1/dorvan.1.gz ./usr/share/man/man1/dorvan-search.1.gz
)
# Parts that only some versions of the project have: packed whenever they were built.
[ -f desktop/dorvan.thumbnailer ] && required+=(./usr/share/thumbnailers/dorvan.thumbnailer)
if [ -n "$(find build-package -name dorvan-render -type f -perm -u+x 2>/dev/null | head -1)" ]; then
  required+=(./usr/bin/dorvan-render)
fi
for file in "${required[@]}"; do
  grep -qxF -- "$file" <<<"$contents" || fail "missing $file"
done

depends=$(dpkg-deb -f "$package" Depends)
for library in libqt6widgets6 libicu libpcre2-16; do
  grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done

# The renderer sets texts in IPA Gothic and Mincho texts in IPA Mincho.
recommends=$(dpkg-deb -f "$package" Recommends)
for font in fonts-ipafont-gothic fonts-ipafont-mincho; do
  grep -q "$font" <<<"$recommends" || fail "Recommends does not name $font: $recommends"
done

version=$(dpkg-deb -f "$package" Version)
changelog_version=$(dpkg-deb --fsys-tarfile "$package" |
  tar -xO ./usr/share/doc/dorvan/changelog.gz | gzip -dc | head -1 | sed -n 's/^dorvan (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is $changelog_version, the package $version (add an entry to packaging/changelog)"

# lintian warns when run as root; its findings are what counts.
report=$(lintian --info "$package" 2>&1 | grep -v 'running with root privileges' || true)
[ -n "$report" ] && echo "$report"
grep -q '^E: ' <<<"$report" && fail "lintian reports errors"

# The server's package, built beside the first one when the server is.
server_package=$(ls "$(dirname "$package")"/dorvan-server_"$version"_*.deb 2>/dev/null | head -1 || true)
if [ -n "$(find build-package -name dorvan-server -type f -perm -u+x 2>/dev/null | head -1)" ] && [ -z "$server_package" ]; then
  fail "dorvan-server was built but its package dorvan-server_${version}_*.deb is missing"
fi
if [ -n "$server_package" ]; then
  server_contents=$(dpkg-deb -c "$server_package" | awk '{print $6}')
  for file in ./usr/bin/dorvan-server ./usr/lib/systemd/system/dorvan-server.service \
      ./usr/share/doc/dorvan-server/examples/server.toml ./usr/share/man/man1/dorvan-server.1.gz \
      ./usr/share/doc/dorvan-server/copyright ./usr/share/doc/dorvan-server/changelog.gz \
      ./usr/share/dorvan/web/index.html ./usr/share/dorvan/web/js/main.js; do
    grep -qxF -- "$file" <<<"$server_contents" || fail "dorvan-server: missing $file"
  done
  # Built for the package's prefix, the server finds its search page where the package puts it.
  dpkg-deb --fsys-tarfile "$server_package" | tar -xO ./usr/bin/dorvan-server | grep -a /usr/local/ >/dev/null &&
    fail "dorvan-server names files under /usr/local/ (configure with -DCMAKE_INSTALL_PREFIX=/usr)"
  server_depends=$(dpkg-deb -f "$server_package" Depends)
  for library in libmicrohttpd libtomlplusplus libcrypt libqt6gui6; do
    grep -q "$library" <<<"$server_depends" || fail "dorvan-server: Depends does not name $library: $server_depends"
  done
  server_report=$(lintian --info "$server_package" 2>&1 | grep -v 'running with root privileges' || true)
  [ -n "$server_report" ] && echo "$server_report"
  grep -q '^E: ' <<<"$server_report" && fail "lintian reports errors in dorvan-server"
fi

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "check-package: $(basename "$package") holds ${#required[@]} required files; Depends: $depends"
[ -n "$server_package" ] && echo "check-package: $(basename "$server_package"); Depends: $server_depends"
exit 0
