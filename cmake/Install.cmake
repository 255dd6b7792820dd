# What `cmake --install` lays out and what scripts/package ships in the Debian package
# dodoz. Included by the top CMakeLists.txt after the targets exist.
include(GNUInstallDirs)

install(TARGETS dodoz dodoz-register dodoz-explain dodoz-classify RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A private plugin of the SQLite ODBC driver, named in DSNs by its full path; nothing
# links against it, so it lives in a directory of its own.
install(TARGETS getnextpk LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/dodoz
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
foreach(backend sqlite postgresql mariadb)
  install(FILES db/${backend}/repository.sql db/${backend}/source.sql
          DESTINATION ${CMAKE_INSTALL_DATADIR}/dodoz/${backend})
endforeach()

# dodoz-make-dsn: scripts/make-dsn with the schemas and the extension of the installed
# tree in place of this checkout's, found relative to the script itself.
function(dodoz_installed_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "$root/${dir}" PARENT_SCOPE)
  endif()
endfunction()
file(RELATIVE_PATH dodoz_bin_to_prefix "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix")
dodoz_installed_path(dodoz_schemas "${CMAKE_INSTALL_DATADIR}/dodoz")
dodoz_installed_path(dodoz_ext "${CMAKE_INSTALL_LIBDIR}/dodoz/getnextpk.so")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS scripts/make-dsn)
file(READ scripts/make-dsn dodoz_make_dsn)
foreach(line [[root=$(cd "$(dirname "$0")/.." && pwd)]] [[schemas=$root/db]] [[ext=$root/build/db/getnextpk.so]]
             [[installed=false]])
  string(FIND "${dodoz_make_dsn}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "scripts/make-dsn no longer has the line ${line} that its installed copy rewrites")
  endif()
endforeach()
string(REPLACE [[root=$(cd "$(dirname "$0")/.." && pwd)]]
               "root=$(cd \"$(dirname \"$0\")/${dodoz_bin_to_prefix}\" && pwd)" dodoz_make_dsn "${dodoz_make_dsn}")
string(REPLACE [[schemas=$root/db]] "schemas=${dodoz_schemas}" dodoz_make_dsn "${dodoz_make_dsn}")
string(REPLACE [[ext=$root/build/db/getnextpk.so]] "ext=${dodoz_ext}" dodoz_make_dsn "${dodoz_make_dsn}")
string(REPLACE "\ninstalled=false\n" "\ninstalled=true\n" dodoz_make_dsn "${dodoz_make_dsn}")
file(WRITE ${CMAKE_BINARY_DIR}/install/dodoz-make-dsn "${dodoz_make_dsn}")
install(PROGRAMS ${CMAKE_BINARY_DIR}/install/dodoz-make-dsn DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages and the Debian changelog go in compressed, as Debian wants them
# (gzip -n: no name or time stamp, so the same source gives the same bytes).
set(VERSION ${PROJECT_VERSION})
set(LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
set(DATADIR ${CMAKE_INSTALL_FULL_DATADIR})
set(DOCDIR ${CMAKE_INSTALL_FULL_DOCDIR})
set(dodoz_compressed)
set(dodoz_pages dodoz dodoz-register dodoz-results dodoz-explain dodoz-classify dodoz-make-dsn)
foreach(page ${dodoz_pages})
  configure_file(man/${page}.1 ${CMAKE_BINARY_DIR}/install/${page}.1 @ONLY)
  list(APPEND dodoz_compressed ${CMAKE_BINARY_DIR}/install/${page}.1)
endforeach()
configure_file(packaging/changelog ${CMAKE_BINARY_DIR}/install/changelog COPYONLY)
list(APPEND dodoz_compressed ${CMAKE_BINARY_DIR}/install/changelog)
set(dodoz_gz)
foreach(file ${dodoz_compressed})
  add_custom_command(OUTPUT ${file}.gz
                     COMMAND gzip -9 -n -c ${file} > ${file}.gz
                     DEPENDS ${file} VERBATIM)
  list(APPEND dodoz_gz ${file}.gz)
endforeach()
add_custom_target(dodoz_compressed_docs ALL DEPENDS ${dodoz_gz})
list(TRANSFORM dodoz_pages PREPEND ${CMAKE_BINARY_DIR}/install/ OUTPUT_VARIABLE dodoz_page_files)
list(TRANSFORM dodoz_page_files APPEND .1.gz)
install(FILES ${dodoz_page_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md packaging/copyright ${CMAKE_BINARY_DIR}/install/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES data/iris.csv DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package (scripts/package). Its dependencies are read off the binaries by
# dpkg-shlibdeps; the ODBC drivers are loaded at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dodoz)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "nonparametric classification of one object for the Mirelon host")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The batch program dodoz reads an analysis task from the repository database of
the analysis environment Mirelon over ODBC, loads the task's training sample,
fits a classifier that compares per-class kernel density estimates and writes
the class of the task's object, the class shares and the error probability back
to the repository. dodoz-register registers a CSV file as a dataset with a
task, dodoz-results prints a run's results, dodoz-explain says why a run chose
its width and class (with the error curve as a picture), dodoz-classify
classifies many objects with one task's model, and dodoz-make-dsn creates
SQLite, PostgreSQL or MariaDB databases with their data sources.")
set(DODOZ_PACKAGE_MAINTAINER "dodoz maintainers <dodoz@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DODOZ_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, sqlite3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, postgresql-client, odbc-mariadb, mariadb-client")
include(CPack)
