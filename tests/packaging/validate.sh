#!/usr/bin/env bash
# The files a desktop and a package manager read: the desktop entry, the AppStream metadata and
# the man pages must pass their validators without a complaint.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
desktop-file-validate "$root/resources/geodot.desktop"
# Installed under its component id, as the package does.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$root/resources/geodot.metainfo.xml" "$tmp/org.geodot.geodot.metainfo.xml"
appstreamcli validate --no-net --pedantic "$tmp/org.geodot.geodot.metainfo.xml"
for page in "$root"/docs/*.1; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [[ -z $warnings ]] || { echo "$page: $warnings"; exit 1; }
done
echo "desktop entry, metadata and man pages: valid"
