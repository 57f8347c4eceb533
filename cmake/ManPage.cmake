# Manual pages: the version is filled in from the project, and the page is installed compressed
# with gzip -9n, as Debian's policy asks and as man reads it everywhere.
include(GNUInstallDirs)
# The release date is the page's date.
include(${CMAKE_CURRENT_LIST_DIR}/../res/version.cmake)

# qzx_install_man_page(SOURCE.N.in [install() options such as COMPONENT name])
function(qzx_install_man_page source)
  get_filename_component(name "${source}" NAME)
  string(REGEX REPLACE "\\.in$" "" name "${name}")
  string(REGEX MATCH "[0-9]$" section "${name}")
  set(page "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  configure_file("${source}" "${page}" @ONLY)
  # -n leaves the name and time out, so the same page always makes the same bytes.
  execute_process(COMMAND gzip -9nc "${page}" OUTPUT_FILE "${page}.gz" COMMAND_ERROR_IS_FATAL ANY)
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}" ${ARGN})
endfunction()
