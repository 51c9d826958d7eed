# Shared by the scripts: where the project is, how Wine runs, and a build helper.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quenlow-wine}
export WINEDEBUG=${WINEDEBUG:--all}
PYTHON=/usr/bin/python3

# configure_and_build PRESET [TARGET...]: configures when needed, then builds the targets named
# (all of them when none is).
configure_and_build() {
  local preset=$1
  shift
  if [[ ! -f "$ROOT/build/$preset/build.ninja" ]]; then
    cmake --preset "$preset" -S "$ROOT" >/dev/null
  fi
  if (($#)); then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}

stop_wine() {
  if command -v wineserver >/dev/null 2>&1 && [[ -d "$WINEPREFIX" ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
}
