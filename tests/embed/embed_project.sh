#!/usr/bin/env bash
# A parent CMake project that embeds this checkout with add_subdirectory() must
# configure, build the panel library and link a program against it.
#   embed_project.sh <source dir> <cmake>
set -euo pipefail
src="$1"
cmake_bin="${2:-cmake}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parent"
cat > "$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory("$src" tevral)
add_executable(uses_panel main.cpp)
target_link_libraries(uses_panel PRIVATE tevral_panel)
CMAKE
cat > "$work/parent/main.cpp" <<'CPP'
#include <QApplication>
#include "app/frm_main.h"
#include "protocol/command.h"
int main(int argc, char **argv) {
    QApplication app(argc, argv);
    frm_main window(QCoreApplication::applicationDirPath());
    return pad3(7) == QLatin1String("007") ? 0 : 1;
}
CPP
"$cmake_bin" -S "$work/parent" -B "$work/build" -DCMAKE_BUILD_TYPE=Debug >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; exit 1; }
# The parent did not ask for tests: none of the embedded project's are configured.
if grep -q 'add_test\|tevral_testsupport' "$work/build/tevral/CTestTestfile.cmake" 2>/dev/null; then
  echo "embedded project configured its tests without BUILD_TESTING"; exit 1
fi
"$cmake_bin" --build "$work/build" --target uses_panel -j"$(nproc)" >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log"; exit 1; }
QT_QPA_PLATFORM=offscreen "$work/build/uses_panel"
echo "parent project built and ran uses_panel"
