# cmake --install --prefix P: bin/kelvary, lib/libzorvex.so with its versioned
# SONAME, include/zorvex.h, lib/pkgconfig/zorvex.pc, the shipped database in
# share/kelvary and the man pages. Nothing in the tree names P: kelvary finds
# the library and the database from its own place, the .pc file from its own.
include(GNUInstallDirs)

file(RELATIVE_PATH libFromBin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH shareFromBin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/kelvary)
file(RELATIVE_PATH prefixFromPc ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
target_compile_definitions(kelvary PRIVATE KELVARY_LIB_FROM_BIN="${libFromBin}"
                           KELVARY_SHARE_FROM_BIN="${shareFromBin}")

install(TARGETS kelvary RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zorvex LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/lib/include/zorvex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/zorvex.pc.in ${CMAKE_BINARY_DIR}/zorvex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zorvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${PROJECT_SOURCE_DIR}/man/kelvary.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/man/zorvex.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)

# The shipped database: unpacked beside the built kelvary, so the build tree
# identifies tunes as an installed one does, and installed with it.
set(ZORVEX_DATABASE_ARCHIVE ${PROJECT_SOURCE_DIR}/data/database.tar.xz)
if(EXISTS ${ZORVEX_DATABASE_ARCHIVE})
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/database.txt
    COMMAND ${CMAKE_COMMAND} -E tar xf ${ZORVEX_DATABASE_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -E touch_nocreate database.txt
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    DEPENDS ${ZORVEX_DATABASE_ARCHIVE}
    COMMENT "Unpacking the shipped database.txt")
  add_custom_target(shipped_database ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/database.txt)
  install(FILES ${CMAKE_BINARY_DIR}/bin/database.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvary)
endif()
