#!/bin/sh
# Usage: ./add-to-menu.sh [--remove]
# Puts Sightrel and Idlepress in this user's application menu: writes their desktop entries,
# pointing at the programs in this folder, into ~/.local/share/applications.
#   ./add-to-menu.sh            add (again after moving the folder)
#   ./add-to-menu.sh --remove   take them out
# A desktop entry must name its program by an absolute path, which is known only once the
# folder has been unpacked; the templates are in desktop/. Any folder name works but one with a
# line break, which no desktop entry can hold.
set -eu
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }  # the comment above
folder=$(cd "$(dirname "$0")" && pwd)
applications=${XDG_DATA_HOME:-$HOME/.local/share}/applications
names="sightrel idlepress"

case ${1:-} in
  --remove)
    for name in $names; do rm -f "$applications/$name.desktop"; done
    echo "Removed the Sightrel and Idlepress menu entries from $applications."
    exit 0
    ;;
  -h | --help)
    usage
    exit 0
    ;;
  "") ;;
  *)
    usage >&2
    exit 2
    ;;
esac

case $folder in
  *"
"*)
    echo "The folder $folder has a line break in its path, which a menu entry can't hold; move it to a plain path and run this again." >&2
    exit 1
    ;;
esac

# The escapes the freedesktop.org desktop entry format asks for. Every value: a backslash is written \\.
# Exec, where the path is one argument in double quotes: first ", `, $ and \ each take a
# backslash before them and % is doubled (a single % starts a field code such as %f), then the
# backslashes are written \\ as in every value. So a folder "a\b" becomes Exec="a\\\\b/...".
FOLDER_VALUE=$(printf '%s' "$folder" | sed 's/\\/\\\\/g')
FOLDER_EXEC=$(printf '%s' "$folder" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g' -e 's/\\/\\\\/g')
export FOLDER_VALUE FOLDER_EXEC

mkdir -p "$applications"
for name in $names; do
  # ENVIRON, not awk -v, which would read the backslashes as escapes of its own.
  awk '{
      line = $0
      folder = (line ~ /^Exec=/) ? ENVIRON["FOLDER_EXEC"] : ENVIRON["FOLDER_VALUE"]
      out = ""
      while ((at = index(line, "@FOLDER@")) > 0) {
        out = out substr(line, 1, at - 1) folder
        line = substr(line, at + 8)
      }
      print out line
    }' "$folder/desktop/$name.desktop.in" >"$applications/$name.desktop"
  chmod 644 "$applications/$name.desktop"
done
echo "Added Sightrel and Idlepress to the application menu ($applications), running from $folder."
# KDE Plasma grants native Wayland clicks by the entry's Exec, which it matched for a plain or
# spaced path but not for one holding ", `, $ or \.
case $folder in
  *[\"\`\$\\]*)
    echo "On KDE Plasma's Wayland session the programs click native windows only from a folder whose path has no \", \`, \$ or \\: move the folder, then run this again." >&2
    ;;
esac
