# shellcheck shell=bash
# Sourced by the build scripts: ccache, when present, makes rebuilds in fresh clones cheap; it
# changes nothing else. qzx_ccache_options TOP fills the array qzx_ccache with the cmake options
# that put it in front of the compilers (empty without ccache).
# shellcheck disable=SC2034  # qzx_ccache is read by the scripts that source this file
qzx_ccache_options() {
  local top=$1
  qzx_ccache=()
  command -v ccache >/dev/null || return 0
  # Paths relative to the top, in the debug information too, let a fresh clone elsewhere reuse
  # what an earlier one compiled.
  export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=1
  qzx_ccache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
              "-DCMAKE_CXX_FLAGS=-fdebug-prefix-map=$top=.")
}
