include(GNUInstallDirs)

install(TARGETS decompress-zaduride RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES decompress-zaduride.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The license, where Debian looks for it.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# A Debian package: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME decompress-zaduride)
set(CPACK_PACKAGE_VENDOR "The decompress-zaduride developers")
set(CPACK_PACKAGE_CONTACT "The decompress-zaduride developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "move the atom records of a PDB file by a rigid-body transformation")
set(CPACK_PACKAGE_DESCRIPTION
    "decompress-zaduride reads a matrix file (a centre, a translation and a 3x3
rotation) and a coordinate file in the fixed-column PDB layout, and writes the
file's ATOM records to standard output with their coordinates moved and every
other byte of those records unchanged. It is exact (the same digits on every
machine), robust against bad input, and fast enough for docking pipelines that
run it thousands of times.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME
    "${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
if(ZADURIDE_STATIC)
  # A static executable depends on no shared library.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
