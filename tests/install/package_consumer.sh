#!/usr/bin/env bash
# Builds the Debian package, checks its dependencies and contents, unpacks it into a scratch
# root, starts the console there by its desktop entry's command, and builds two of the
# examples it ships against the unpacked library (find_package(Quillon) and pkg-config) and
# runs them.
#   package_consumer.sh BUILD_DIR CXX CXX_FLAGS EXE_LINKER_FLAGS
set -euo pipefail
build=$1 cxx=$2 cxxflags=$3 ldflags=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== cpack -G DEB"
cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/pkg/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Found by dpkg-shlibdeps from the programs, never written by hand.
for lib in libc6 libstdc++6 libqt6widgets6 libqt6charts6; do
  grep -Eq "(^|, )${lib//+/\\+}( |,|\$)" <<<"$depends" || fail "Depends lacks $lib"
done

dpkg-deb --contents "$deb" | awk '{print $6}' >"$work/contents"
for path in ./usr/bin/quillon-console ./usr/bin/quillon-board \
    ./usr/share/applications/fr.quillon.Console.desktop \
    ./usr/share/icons/hicolor/scalable/apps/fr.quillon.Console.svg \
    ./usr/share/metainfo/fr.quillon.Console.metainfo.xml \
    ./usr/share/doc/quillon/examples/60-quillon-board.rules \
    ./usr/share/doc/quillon/examples/CMakeLists.txt ./usr/share/doc/quillon/developer-guide.md \
    ./usr/include/quillon/comport/ComPort.h ./usr/include/quillon/comsignal/ComSignal.h \
    ./usr/include/quillon/platform/WinApi.h ./usr/include/quillon/rtl/Closure.h; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
grep -q '/cmake/Quillon/QuillonConfig.cmake$' "$work/contents" || fail "no CMake package"
grep -q '/pkgconfig/quillon.pc$' "$work/contents" || fail "no pkg-config file"

root=$work/root
dpkg -x "$deb" "$root"
config=$(dirname "$(find "$root" -name QuillonConfig.cmake)")
pcdir=$(dirname "$(find "$root" -name quillon.pc)")

echo "== the desktop entry's command"
entry=$root/usr/share/applications/fr.quillon.Console.desktop
cmd=$(sed -n 's/^Exec=//p' "$entry")
[ -n "$cmd" ] || fail "the desktop entry has no Exec"
printf 'expect-text SpeedButtonOpenClose Open\nquit\n' >"$work/script"
mkdir "$work/registry"
PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen QUILLON_AUTOMATION="$work/script" \
  QUILLON_PORT_REGISTRY="$work/registry" $cmd || fail "'$cmd' from the package did not run"

echo "== the window's class against the desktop entry"
# The desktop links a window to its launcher by StartupWMClass = the window's WM_CLASS.
wmclass=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$wmclass" ] || fail "the desktop entry has no StartupWMClass"
# The window is up once the script's first step reports; the X server then lists it.
printf 'expect-text SpeedButtonOpenClose Open\nexpect-text SpeedButtonOpenClose Close 60000\n' \
  >"$work/hold"
mkfifo "$work/reports"
# shellcheck disable=SC2016 # expanded by the inner shell
windows=$(PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=xcb QUILLON_AUTOMATION="$work/hold" \
  QUILLON_PORT_REGISTRY="$work/registry" xvfb-run -a -s "-nolisten tcp" bash -c '
    $1 >"$2" & pid=$!
    exec 3<"$2"
    read -r first <&3 && xwininfo -root -tree
    status=$?
    kill "$pid"; wait "$pid" 2>/dev/null
    exit $status' bash "$cmd" "$work/reports") || fail "the console's window did not come up"
classes=$(grep -o '("[^"]*" "[^"]*")' <<<"$windows" | sort -u)
echo "window classes: $classes"
grep -qF "\"$wmclass\")" <<<"$classes" ||
  fail "no window of class '$wmclass', the desktop entry's StartupWMClass"

echo "== find_package(Quillon)"
examples=$root/usr/share/doc/quillon/examples
cmake -S "$examples" -B "$work/cmake-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQuillon_DIR="$config" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "configuring the examples"; }
cmake --build "$work/cmake-build" --target open_pty
# The imported targets point into the unpacked package, whatever else is installed.
grep -q -- "-I$root/usr/include/quillon\|-isystem $root/usr/include/quillon" \
  "$work/cmake-build/build.ninja" || fail "open_pty was not compiled against the package"
"$work/cmake-build/open_pty" || fail "open_pty built with find_package"

echo "== pkg-config"
flags=$(PKG_CONFIG_PATH="" PKG_CONFIG_LIBDIR="$pcdir" pkg-config --cflags --libs quillon)
echo "pkg-config: $flags"
[[ $flags == *"$root"* ]] || fail "pkg-config does not point into the unpacked package"
# shellcheck disable=SC2086 # the flags are words
"$cxx" $cxxflags "$examples/rx_monitor.cpp" -o "$work/rx_monitor" $flags -lutil $ldflags
"$work/rx_monitor" >"$work/rx.log" || { cat "$work/rx.log"; fail "rx_monitor built with pkg-config"; }
cat "$work/rx.log"
grep -q 'rx .*hello' "$work/rx.log" || fail "rx_monitor did not show what the pty sent"
echo "== package consumer passed"
