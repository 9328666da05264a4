# The Debian package, built by CPack: `make package` writes pelmora_<version>_<arch>.deb
# into the build folder. The files it holds are whatever the install rules put in place,
# plus the Debian documents below.

find_program(GZIP_EXECUTABLE gzip REQUIRED)

# Debian wants compressed documents; -n leaves out the name and time stamp, so the same
# source gives the same bytes.
function(pelmora_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
    COMMAND ${GZIP_EXECUTABLE} -9nf ${output}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp.gz ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

# Directories in the package are 0755 whatever the umask of the machine that builds it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(PELMORA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
pelmora_gzip(${PELMORA_PACKAGING_DIR}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(pelmora_package_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PELMORA_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelmora developers")
set(CPACK_PACKAGE_CONTACT "The Pelmora developers <pelmora@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://pelmora.example.org/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "slide-show viewer for the JPEG pictures of a folder")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmora shows the JPEG pictures of a folder one after another, each fitted
to the window on black with its proportions kept. The control panel picks
the folder (and whether its immediate sub-folders count), sequential or
random order and an interval between 0.5 and 5.0 seconds. During a show,
Space or a click pauses, the arrow keys step through the last ten pictures
and Esc or a right click brings the panel back.

The panel is in Japanese; the folder dialog follows the user's locale.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from the binary; the rest is what it looks for at run time: Qt's
# X11 platform plugin, the panel's Japanese font and Qt's own translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic, qt6-translations-l10n")
# On a Wayland desktop Qt's Wayland plugin makes the program a native client: the compositor's
# own scale and full screen. Without it the program still runs there, through XWayland, and an
# X11 desktop never needs it, so it is recommended rather than required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
