#!/usr/bin/env bash
# The files a desktop and a package manager read: the desktop entry, the AppStream metadata and
# the man pages must pass their validators without a complaint; the Debian package built from
# BUILD_DIR must pass lintian without an error or a warning.
#
#   validate.sh BUILD_DIR [CPACK]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:?usage: validate.sh BUILD_DIR [CPACK]}" && pwd)
cpack=${2:-cpack}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

desktop-file-validate "$root/resources/geodot.desktop"
# Installed under its component id, as the package does.
cp "$root/resources/geodot.metainfo.xml" "$tmp/org.geodot.geodot.metainfo.xml"
appstreamcli validate --no-net --pedantic "$tmp/org.geodot.geodot.metainfo.xml"
for page in "$root"/docs/*.1; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [[ -z $warnings ]] || { echo "$page: $warnings"; exit 1; }
done
echo "desktop entry, metadata and man pages: valid"

# The licence in the copyright file is LICENSE's, word for word (the paragraph's lines start
# with a blank, an empty line is a lone ".").
licence=$(sed '1,/^Copyright/d' "$root/LICENSE" | sed '/./,$!d')
in_copyright=$(awk -v RS= '/^License: Expat\n/' "$root/packaging/copyright" | tail -n +2 |
    sed 's/^ //; s/^\.$//')
[[ $licence == "$in_copyright" ]] || {
    echo "packaging/copyright: the Expat licence text differs from LICENSE"
    exit 1
}

(cd "$tmp" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >/dev/null)
package=$(find "$tmp/out" -maxdepth 1 -name '*.deb')
[[ -n $package ]] || { echo "cpack made no package"; exit 1; }

# The newest changelog entry names the package's version and maintainer.
for field in Version Maintainer; do
    packaged=$(dpkg-deb -f "$package" "$field")
    logged=$(dpkg-parsechangelog -l "$root/packaging/changelog" -S "$field")
    [[ $packaged == "$logged" ]] || {
        echo "packaging/changelog: $field '$logged', the package says '$packaged'"
        exit 1
    }
done

# Informational notes are shown; an error or a warning fails.
lintian --fail-on error,warning --display-info "$package"
echo "$(basename "$package"): lintian reports no error and no warning"
