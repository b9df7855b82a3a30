include(GNUInstallDirs)

install(TARGETS decompress-zaduride RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The compiler's and the C library's version strings are of no use in an
# installed executable; Debian wants them gone.
if(CMAKE_OBJCOPY)
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/decompress-zaduride\"
    COMMAND_ERROR_IS_FATAL ANY)")
endif()

# Whoever publishes the package sets a real address here.
set(ZADURIDE_PACKAGE_MAINTAINER "The decompress-zaduride developers"
    CACHE STRING "Maintainer of the Debian package: Name <address>")

# The manual page and the changelog are installed compressed, as Debian
# keeps them; -n leaves out the name and time stamp, so the bytes depend on
# the text alone.
find_program(ZADURIDE_GZIP gzip REQUIRED)
# A changelog entry must be signed with an address; until the maintainer has
# one, it is signed with one under .invalid, which can never be delivered.
set(ZADURIDE_CHANGELOG_SIGNATURE "${ZADURIDE_PACKAGE_MAINTAINER}")
if(NOT ZADURIDE_PACKAGE_MAINTAINER MATCHES "<.+@.+>")
  string(APPEND ZADURIDE_CHANGELOG_SIGNATURE
         " <unpublished@decompress-zaduride.invalid>")
endif()
configure_file(packaging/changelog.in changelog @ONLY)
if(ZADURIDE_STATIC)
  set(ZADURIDE_STATIC_OVERRIDE "# Linked statically on purpose: pipelines start the tool thousands of times,
# and a static executable skips the dynamic loader's work at every start.
decompress-zaduride: statically-linked-binary [usr/bin/decompress-zaduride]")
else()
  set(ZADURIDE_STATIC_OVERRIDE "")
endif()
configure_file(packaging/lintian-overrides.in lintian-overrides @ONLY)
add_custom_command(
  OUTPUT decompress-zaduride.1.gz changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory compressed
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/decompress-zaduride.1
          ${PROJECT_BINARY_DIR}/changelog compressed
  COMMAND ${ZADURIDE_GZIP} -9nf compressed/decompress-zaduride.1
          compressed/changelog
  COMMAND ${CMAKE_COMMAND} -E rename compressed/decompress-zaduride.1.gz
          decompress-zaduride.1.gz
  COMMAND ${CMAKE_COMMAND} -E rename compressed/changelog.gz changelog.gz
  DEPENDS decompress-zaduride.1 ${PROJECT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(zaduride_compressed_docs ALL
                  DEPENDS decompress-zaduride.1.gz changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/decompress-zaduride.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_BINARY_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME decompress-zaduride)
# The license, where Debian looks for it.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# A Debian package: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME decompress-zaduride)
set(CPACK_PACKAGE_VENDOR "The decompress-zaduride developers")
set(CPACK_PACKAGE_CONTACT "${ZADURIDE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "move the atom records of a PDB or mmCIF file by a rigid-body transformation")
set(CPACK_PACKAGE_DESCRIPTION
    "decompress-zaduride reads a matrix file (a centre, a translation and a 3x3
rotation) and a coordinate file, in the fixed-column PDB layout or in
PDBx/mmCIF, and writes the file's ATOM records to standard output with their
coordinates moved and every other byte of those records unchanged. It is
exact (the same digits on every machine), robust against bad input, and fast
enough for docking pipelines that run it thousands of times.")
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
