# Shared by the scripts: where the project is, how Wine runs, and a build helper.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlow-wine}
export WINEDEBUG=${WINEDEBUG:--all}
PYTHON=/usr/bin/python3

# configure_and_build PRESET [-DNAME=VALUE...] [TARGET...]: configures when the build folder is new
# or when what the configuration was made from changed (the presets, the -D arguments, the
# toolchain file, the compiler launchers), then builds the targets named (all of them when none
# is). CMake re-runs itself when a CMakeLists.txt changes; it does not notice a changed preset.
configure_and_build() {
  local preset=$1
  shift
  local defines=()
  while (($#)) && [[ $1 == -D* ]]; do
    defines+=("$1")
    shift
  done
  local build_dir=$ROOT/build/$preset
  local stamp
  stamp=$(configuration_stamp "${defines[@]}")
  if [[ ! -f "$build_dir/build.ninja" || "$(cat "$build_dir/.quenlow-configured" 2>/dev/null)" != "$stamp" ]]; then
    cmake --preset "$preset" -S "$ROOT" "${defines[@]}" >/dev/null
    printf '%s\n' "$stamp" >"$build_dir/.quenlow-configured"
  fi
  if (($#)); then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}

# TEST_ID_DEFINES: the project's test extension ids (browser/tests/browser/extension/ids.txt) as
# -D arguments. The suites and the demo build with them explicitly; a build with them makes test
# packages (quenlow-test, "Quenlow (test build)").
test_ids() {
  awk -v family="$1" '$1 == family { print $2 }' "$ROOT/browser/tests/browser/extension/ids.txt" |
    paste -sd ';'
}
TEST_ID_DEFINES=(
  "-DQUENLOW_EXTENSION_IDS=$(test_ids chromium)"
  "-DQUENLOW_FIREFOX_EXTENSION_IDS=$(test_ids firefox)"
)

# What a configuration is made from, as one hash.
configuration_stamp() {
  {
    cat "$ROOT/CMakePresets.json" "$ROOT/CMakeUserPresets.json" 2>/dev/null || true
    cat "$ROOT"/cmake/mingw-*.cmake
    printf '%s\n' "$@" "${CMAKE_C_COMPILER_LAUNCHER-}" "${CMAKE_CXX_COMPILER_LAUNCHER-}"
  } | sha256sum | cut -d' ' -f1
}

stop_wine() {
  if command -v wineserver >/dev/null 2>&1 && [[ -d "$WINEPREFIX" ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
}
