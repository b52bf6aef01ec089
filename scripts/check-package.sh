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
[ -f web/index.html ] && required+=(./usr/share/dorvan/web/index.html ./usr/share/dorvan/web/js/main.js)
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

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "check-package: $(basename "$package") holds ${#required[@]} required files; Depends: $depends"
