# Shared by the scripts: where the project is, how Wine runs, and a build helper.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlow-wine}
export WINEDEBUG=${WINEDEBUG:--all}
PYTHON=/usr/bin/python3

# configure_and_build PRESET: configures when needed, then builds.
configure_and_build() {
  local preset=$1
  if [[ ! -f "$ROOT/build/$preset/build.ninja" ]]; then
    cmake --preset "$preset" -S "$ROOT" >/dev/null
  fi
  cmake --build --preset "$preset"
}

stop_wine() {
  if command -v wineserver >/dev/null 2>&1 && [[ -d "$WINEPREFIX" ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
}
