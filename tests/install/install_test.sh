#!/usr/bin/env bash
# The installed program, run by ctest as install_files, install_package and
# install_launcher:  install_test.sh BUILD_DIR SOURCE_DIR files|package|launcher
#   files     `cmake --install` into a scratch prefix (whose path has a space,
#             a $ and a %) puts there exactly the files a user gets (no test or
#             benchmark program), the icons at their sizes, and a desktop entry
#             and AppStream file that pass desktop-file-validate and
#             appstreamcli validate --no-net; the entry runs the installed
#             launcher by its path
#   package   `cpack -G DEB` makes a package with the same files, whose
#             dependencies dpkg-shlibdeps found, that recommends Qt's Wayland
#             platform (which scripts/deps installs too), whose desktop entry
#             runs /usr/bin/quillet-launch, and that lintian passes
#   launcher  the menu's launcher, started as the desktop entry says with a
#             PATH that lacks the install's bin, in a scratch home without XDG_DATA_HOME,
#             makes ~/.local/share/quillet on the first start and the program
#             writes Quillet.zrv and its first backup there, not in the folder
#             it was started from, the folder and the database for the user
#             alone, also where an install into ~/.local made the folder for
#             the help pages; XDG_DATA_HOME, when absolute, moves it;
#             with an empty or relative HOME, or a file in the data folder's
#             place, it says why (on standard error as in its window, which
#             app_identity checks) and makes nothing
set -euo pipefail
build=$(cd "$1" && pwd); source=$(cd "$2" && pwd); what=$3
app=org.quillet.Quillet
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every file under a prefix, relative to it, sorted.
files_under() { (cd "$1" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort); }

# The files an install must hold: the fixed ones and every help page and picture.
expected_files() {
  {
    printf '%s\n' bin/quillet bin/quillet-launch bin/quillet-query \
      share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
      share/icons/hicolor/scalable/apps/$app.svg \
      share/man/man1/quillet.1.gz share/man/man1/quillet-launch.1.gz share/man/man1/quillet-query.1.gz \
      share/doc/quillet/copyright share/doc/quillet/changelog.gz
    for size in 16 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/$app.png"; done
    (cd "$source/help" && ls *.htm *.css *.png | sed 's|^|share/quillet/help/|')
  } | LC_ALL=C sort
}

# The program a desktop entry's Exec runs, its quotes and escapes undone.
entry_program() {
  local exec
  exec=$(sed -n 's/^Exec=//p' "$1")
  exec=${exec//%%/%}
  if [[ $exec == \"*\" ]]; then
    exec=$(printf '%s' "${exec:1:-1}" | sed -e 's/\\\\/\\/g' -e 's/\\\(["`$\\]\)/\1/g')
  fi
  printf '%s\n' "$exec"
}

install_into() {
  cmake --install "$build" --prefix "$1" >/dev/null
}

check_files() {
  local prefix="$scratch/a 100% \$prefix"
  install_into "$prefix"
  diff <(expected_files) <(files_under "$prefix") || fail "the installed files differ from the list (< missing, > extra)"
  for p in quillet quillet-launch quillet-query; do
    [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"
  done
  for page in index insert backup email cheque report envelope; do
    [ -s "$prefix/share/quillet/help/$page.htm" ] || fail "help page $page.htm is empty"
  done
  for size in 16 24 32 48 64 128 256; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/$app.png" | grep -q "PNG image data, $size x $size" ||
      fail "the ${size}x${size} icon is not a PNG of that size"
  done
  desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop-file-validate"
  appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
  # the entry starts the installed launcher by its path (a menu's PATH may
  # lack the prefix's bin), shows the installed icon and names the window
  # class the program gives its windows
  local program
  program=$(entry_program "$prefix/share/applications/$app.desktop")
  [ "$program" = "$prefix/bin/quillet-launch" ] && [ -x "$program" ] ||
    fail "Exec is not the installed launcher's path: $(grep '^Exec=' "$prefix/share/applications/$app.desktop")"
  grep -qx "Icon=$app" "$prefix/share/applications/$app.desktop" || fail "Icon is not $app"
  grep -qx 'StartupWMClass=quillet' "$prefix/share/applications/$app.desktop" || fail "StartupWMClass"
}

check_package() {
  (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null)
  local deb
  deb=$(ls "$scratch"/out/quillet_*_amd64.deb)
  # the same files as an install, under /usr
  diff <(expected_files | sed 's|^|usr/|') \
       <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort) ||
    fail "the package's files differ from the list"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libqt6widgets6 libqt6sql6 libcurl4 libcups2 libc6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib (dpkg-shlibdeps): $depends"
  done
  # a Wayland desktop needs Qt's Wayland platform, which the set-up installs too
  dpkg-deb -f "$deb" Recommends | grep -qw qt6-wayland || fail "Recommends lacks qt6-wayland"
  grep -qx qt6-wayland "$source/scripts/deps" || fail "scripts/deps lacks qt6-wayland"
  file "$(dpkg-deb -x "$deb" "$scratch/x" && echo "$scratch/x/usr/bin/quillet")" | grep -q ', stripped' ||
    fail "the program in the package is not stripped"
  [ "$(entry_program "$scratch/x/usr/share/applications/$app.desktop")" = /usr/bin/quillet-launch ] ||
    fail "the package's desktop entry does not run /usr/bin/quillet-launch"
  lintian --fail-on error "$deb" || fail "lintian reports errors"
  echo "package: $(stat -c %s "$deb") bytes"
}

# Starts the launcher as the desktop entry says, with a PATH that lacks the
# install's bin, in a scratch home from another folder, waits for the
# database and its first backup in the data folder, then ends the program.
# With IN_HOME=1 the program is installed into the home's ~/.local first, and
# started from there.
# launch DATA_FOLDER [XDG_DATA_HOME]
launch() {
  local data=$1 home=$scratch/home started=$scratch/started prefix=$scratch/prefix
  rm -rf "$home" "$started"
  mkdir -p "$home" "$started"
  : >"$scratch/log"  # emptied here, before the start, so no earlier run's words are read as this one's
  if [ "${IN_HOME:-}" = 1 ]; then prefix=$home/.local; install_into "$prefix"; fi
  local env_args=(-u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen)
  [ $# -gt 1 ] && env_args+=(XDG_DATA_HOME="$2")
  local program
  program=$(entry_program "$prefix/share/applications/$app.desktop")
  (cd "$started" && exec env "${env_args[@]}" PATH=/usr/bin:/bin "$program") >"$scratch/log" 2>&1 &
  local pid=$! waited=0
  until [ -f "$data/Quillet.zrv" ] && [ -f "$data/Quillet0.zbf" ]; do
    kill -0 $pid 2>/dev/null || { cat "$scratch/log"; fail "the program ended before it made $data/Quillet.zrv"; }
    [ $waited -lt 300 ] || { kill $pid; cat "$scratch/log"; fail "no $data/Quillet.zrv after 30 s"; }
    sleep 0.1; waited=$((waited + 1))
  done
  kill $pid; wait $pid 2>/dev/null || true
  [ "$(stat -c %a "$data")" = 700 ] || fail "$data is not the user's alone"
  [ "$(stat -c %a "$data/Quillet.zrv")" = 600 ] || fail "$data/Quillet.zrv is not the user's alone"
  [ -z "$(ls -A "$started")" ] || fail "the program wrote into the folder it was started from"
}

# Starts the launcher where it can have no data folder and waits until it says
# why; its message box then waits for the user, so it is ended. Nothing may be
# made in the folder it was started from, nor under "/".
# refuse REASON BLOCKER [VAR=VALUE...]   (BLOCKER: a file put there first, or -)
refuse() {
  local reason=$1 blocker=$2 home=$scratch/home started=$scratch/started
  shift 2
  rm -rf "$home" "$started"
  mkdir -p "$home" "$started"
  if [ "$blocker" != - ]; then mkdir -p "$(dirname "$blocker")" && touch "$blocker"; fi
  : >"$scratch/log"  # emptied here, before the start, so no earlier run's words are read as this one's
  local root_before
  root_before=$(ls -d /.local/share/quillet /quillet 2>/dev/null || true)
  (cd "$started" && exec env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$@" \
    "$scratch/prefix/bin/quillet-launch") >"$scratch/log" 2>&1 &
  local pid=$! waited=0
  until grep -qF "$reason" "$scratch/log"; do
    kill -0 $pid 2>/dev/null || { cat "$scratch/log"; fail "the launcher ended without saying: $reason"; }
    [ $waited -lt 300 ] || { kill $pid; cat "$scratch/log"; fail "the launcher did not say in 30 s: $reason"; }
    sleep 0.1; waited=$((waited + 1))
  done
  kill $pid; wait $pid 2>/dev/null || true
  [ -z "$(ls -A "$started")" ] || fail "the launcher made something in the folder it was started from"
  [ "$(ls -d /.local/share/quillet /quillet 2>/dev/null || true)" = "$root_before" ] ||
    fail "the launcher made a data folder under /"
}

check_launcher() {
  install_into "$scratch/prefix"
  launch "$scratch/home/.local/share/quillet"
  launch "$scratch/data/quillet" "$scratch/data"
  launch "$scratch/home/.local/share/quillet" "relative/data"
  IN_HOME=1 launch "$scratch/home/.local/share/quillet"
  [ -s "$scratch/home/.local/share/quillet/help/index.htm" ] || fail "the help pages went from the data folder"
  local nowhere="Quillet cannot keep its data anywhere: HOME is not set"
  refuse "$nowhere" - HOME=
  refuse "$nowhere" - HOME=relative/home XDG_DATA_HOME=relative/data
  refuse "Quillet cannot keep its data in $scratch/home/.local/share/quillet: Not a directory." \
    "$scratch/home/.local/share/quillet" LC_ALL=C
}

case $what in
  files) check_files ;;
  package) check_package ;;
  launcher) check_launcher ;;
  *) fail "unknown check $what" ;;
esac
echo "ok: $what"
