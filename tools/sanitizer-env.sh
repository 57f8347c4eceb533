# Sourced by the sanitizer and fuzz scripts: where the checked builds live and how the checks
# behave. Every report ends the program with a failure, so that no report can go unnoticed.
qzx_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# build-asan (address and undefined-behaviour checks, and the fuzz targets) and build-tsan sit
# beside the ordinary build.
qzx_checked_dir() { echo "${QZX_BUILD_DIR:-$qzx_top/build}-$1"; }
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:exitcode=86:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:exitcode=86:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=86:second_deadlock_stack=1:suppressions=$qzx_top/tools/tsan-suppressions.txt:print_suppressions=0"
