# Installs the build into a fresh prefix and checks what lands there.
set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed: ${result}")
endif()
foreach(f bin/pelmora share/applications/org.pelmora.Pelmora.desktop
          share/metainfo/org.pelmora.Pelmora.metainfo.xml share/man/man1/pelmora.1.gz
          share/doc/pelmora/copyright share/doc/pelmora/changelog.gz
          share/icons/hicolor/16x16/apps/pelmora.png share/icons/hicolor/32x32/apps/pelmora.png
          share/icons/hicolor/64x64/apps/pelmora.png share/icons/hicolor/128x128/apps/pelmora.png)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "missing from the install: ${f}")
  endif()
endforeach()
find_program(VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND "${VALIDATE}" "${prefix}/share/applications/org.pelmora.Pelmora.desktop"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop entry: ${out}")
endif()
file(GLOB_RECURSE installed RELATIVE "${prefix}" "${prefix}/*")
message(STATUS "installed: ${installed}")
