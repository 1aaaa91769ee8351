# What `cmake --install` puts in place, and the Debian package CPack makes
# of it (`cpack -G DEB` in the build directory, or the `package` target).
# Only the executable, its manual page and the package's doc files are
# installed: the static libraries, the tests and the benchmark's generator
# stay in the build tree.
include(GNUInstallDirs)

# Directories made by the install keep 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The manual page and the changelog carry the version by hand; a release
# that changes one but not the other would ship a page or a changelog
# naming the wrong version.
set(packaging_man_page "${PROJECT_SOURCE_DIR}/doc/reconsider-tagger.1")
set(packaging_changelog "${PROJECT_SOURCE_DIR}/packaging/changelog")
file(STRINGS "${packaging_man_page}" packaging_th_line REGEX "^\\.TH ")
if(NOT packaging_th_line MATCHES "\"reconsider-tagger ${PROJECT_VERSION}\"")
  message(FATAL_ERROR "doc/reconsider-tagger.1: the .TH line does not name version ${PROJECT_VERSION}")
endif()
file(STRINGS "${packaging_changelog}" packaging_changelog_top LIMIT_COUNT 1)
if(NOT packaging_changelog_top MATCHES "^reconsider-tagger \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()

# Compressed at build time, with -n so the bytes never depend on the time or
# the file's name (Debian installs manual pages and changelogs gzipped).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(packaging_dir "${PROJECT_BINARY_DIR}/packaging")
set(packaging_man_gz "${packaging_dir}/reconsider-tagger.1.gz")
set(packaging_changelog_gz "${packaging_dir}/changelog.gz")
add_custom_command(
  OUTPUT "${packaging_man_gz}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${packaging_man_page}" "${packaging_dir}/reconsider-tagger.1"
  COMMAND "${GZIP_EXECUTABLE}" -9nf "${packaging_dir}/reconsider-tagger.1"
  DEPENDS "${packaging_man_page}"
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_command(
  OUTPUT "${packaging_changelog_gz}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${packaging_changelog}" "${packaging_dir}/changelog"
  COMMAND "${GZIP_EXECUTABLE}" -9nf "${packaging_dir}/changelog"
  DEPENDS "${packaging_changelog}"
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(packaging_docs ALL DEPENDS "${packaging_man_gz}" "${packaging_changelog_gz}")

install(TARGETS reconsider-tagger RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${packaging_man_gz}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES packaging/copyright DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# A package whose version has no Debian revision is a native package, whose
# changelog Debian names changelog.gz.
install(FILES "${packaging_changelog_gz}" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reconsider-tagger)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The reconsider-tagger developers")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "reconsider-tagger maintainers <maintainers@reconsider-tagger.example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line is the synopsis, the rest the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"tag the model elements that realise requirements under reconsideration
This console tool opens a model repository, a database holding the elements,
packages, connectors and tagged values of a model, finds the requirements
flagged for reconsideration below the repository's root package and marks
every design element that realises one of them, in one transaction, so the
team knows what to review.

It opens Jet 4 and Jet 3 .mdb files (written in place through a rollback
journal), SQLite 3 files, and repositories kept by a PostgreSQL server,
named by a postgresql:// connection URI.")
# libpq is opened with dlopen, and only for server repositories, so
# dpkg-shlibdeps cannot see it among the executable's needs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libpq5)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
