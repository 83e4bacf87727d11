#!/bin/sh
# Puts Sightrel and Idlepress in this user's application menu: writes their desktop entries,
# pointing at the programs in this folder, into ~/.local/share/applications.
#   ./add-to-menu.sh            add (again after moving the folder)
#   ./add-to-menu.sh --remove   take them out
# A desktop entry must name its program by an absolute path, which is known only once the
# folder has been unpacked; the templates are in desktop/.
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

# The entries quote the path; these characters would need escapes the menu readers disagree on.
case $folder in
  *[\"\`\$\\]* | *"
"*)
    echo "The folder $folder has a quote, \$, \\ or a line break in its path; move it to a plain path and run this again." >&2
    exit 1
    ;;
esac

mkdir -p "$applications"
for name in $names; do
  awk -v folder="$folder" '{
      line = $0
      while ((at = index(line, "@FOLDER@")) > 0) line = substr(line, 1, at - 1) folder substr(line, at + 8)
      print line
    }' "$folder/desktop/$name.desktop.in" >"$applications/$name.desktop"
  chmod 644 "$applications/$name.desktop"
done
echo "Added Sightrel and Idlepress to the application menu ($applications), running from $folder."
