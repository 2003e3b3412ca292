# Installation and packages, included at the end of the top CMakeLists.txt.
#
# cmake --install puts the program, its manual page, its bash completion and
# its documents under the prefix: bin/sheetpak, share/man/man1/sheetpak.1,
# share/bash-completion/completions/sheetpak and share/doc/sheetpak/
# (README.md, LICENSE and the picture the README shows). The tests, tools,
# benchmarks and fuzz targets are never installed. A Windows build installs
# sheetpak.exe, README.md and LICENSE side by side, as its zip holds them.
#
# cpack, from a build folder: DEB and TGZ on Linux (sheetpak_<version>_<arch>.deb,
# dependencies from dpkg-shlibdeps), ZIP for Windows (sheetpak-<version>-win64.zip).

include(GNUInstallDirs)

if(WIN32)
  install(TARGETS sheetpak RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  install(TARGETS sheetpak RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/sheetpak.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Bash finds it there by the command's name (bash-completion's own folder).
  install(FILES ${PROJECT_SOURCE_DIR}/docs/completion/sheetpak
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/docs/sample-sheets-top.png
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME sheetpak)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the sheetpak developers")
set(CPACK_PACKAGE_CONTACT "the sheetpak developers <developers@sheetpak.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extract and insert the graphics sheets of a SNES Zelda ROM")
# One paragraph; its lines stay within Debian's 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
  "sheetpak takes the 223 graphics sheets of the Super Nintendo game\n"
  "Zelda: A Link to the Past out of a ROM image into files or PNG pictures\n"
  "that a tile editor or an image editor can open, and puts the edited\n"
  "sheets back: it recompresses them, lays them into the ROM from a chosen\n"
  "offset, rewrites the game's pointer tables and enlarges the ROM when the\n"
  "graphics no longer fit. It reads the US and the Japanese release, with or\n"
  "without a copier header, and leaves the ROM unchanged when it refuses a run.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# Where the staging folder holds the documents and the manual, for the script below.
set(CPACK_SHEETPAK_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_SHEETPAK_MANDIR ${CMAKE_INSTALL_MANDIR})

# Settings of one generator (the zip's flat layout), and the files a Debian
# package needs beyond what cmake --install writes.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_generator.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_debian_files.cmake)

include(CPack)
