# Read by cpack once per generator, with CPACK_GENERATOR set to that one.
if(CPACK_GENERATOR STREQUAL "ZIP")
  # sheetpak.exe, README.md and LICENSE at the top of the zip, in no folder.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
