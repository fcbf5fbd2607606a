#!/bin/bash
# Installs the desktop files of a build tree into a scratch DESTDIR and checks
# that the entry, the log file type and the icon land where desktops look, and
# that the validators (when installed) accept them.
set -euo pipefail
build=$1
destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT

DESTDIR=$destdir cmake --install "$build" --prefix /usr --component desktop >/dev/null
share=$destdir/usr/share
failures=0
for file in applications/kivo.desktop mime/packages/kivo.xml icons/hicolor/scalable/apps/kivo.svg; do
  if [[ ! -s $share/$file ]]; then
    echo "missing: share/$file"
    failures=$((failures + 1))
  fi
done
((failures == 0)) || exit 1

entry=$share/applications/kivo.desktop
for line in "Name=Kivo" "Exec=kivo %f" "Icon=kivo" "Terminal=false" \
            "Categories=Development;Engineering;" "MimeType=application/x-kivo-log;"; do
  grep -qxF "$line" "$entry" || { echo "kivo.desktop lacks: $line"; failures=$((failures + 1)); }
done
for glob in '*.lg3' '*.kvl'; do
  grep -qF "<glob pattern=\"$glob\"/>" "$share/mime/packages/kivo.xml" ||
    { echo "kivo.xml lacks the glob $glob"; failures=$((failures + 1)); }
done
grep -qF 'type="application/x-kivo-log"' "$share/mime/packages/kivo.xml" ||
  { echo "kivo.xml lacks application/x-kivo-log"; failures=$((failures + 1)); }

if command -v xmllint >/dev/null; then
  xmllint --noout "$share/mime/packages/kivo.xml" "$share/icons/hicolor/scalable/apps/kivo.svg" ||
    failures=$((failures + 1))
fi
if command -v update-mime-database >/dev/null; then
  # The database built from the package names the type of a log file.
  update-mime-database "$share/mime" >/dev/null 2>&1 || failures=$((failures + 1))
  grep -q "application/x-kivo-log:\*\.lg3" "$share/mime/globs" ||
    { echo "the mime database does not know *.lg3"; failures=$((failures + 1)); }
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || failures=$((failures + 1))
else
  echo "desktop-file-validate is not installed: the entry is checked by its lines only"
fi
((failures == 0))
