# What `cmake --install` puts where; scripts/package.sh makes the Debian packages from it
# (the service unit and the example INI file are the packaging's own, in debian/).
# The directory libraries are no public interface: they go to a private folder that the
# programs find through their RUNPATH, relative to where they are installed.
include(GNUInstallDirs)
set(TARROW_PRIVATE_LIBDIR lib/tarrow)
file(RELATIVE_PATH _tarrow_bin_to_libs /${CMAKE_INSTALL_BINDIR} /${TARROW_PRIVATE_LIBDIR})

set_target_properties(qvconnapi qvintlapi qvdsapi PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS qvconnapi qvintlapi qvdsapi LIBRARY DESTINATION ${TARROW_PRIVATE_LIBDIR})

set_target_properties(TarrowCli Tarrow PROPERTIES INSTALL_RPATH "$ORIGIN/${_tarrow_bin_to_libs}")
# The others need no search path of their own (Qt's project setup would give them one).
set_target_properties(TarrowCtrl TarrowMgrCli tarrow-compare tarrow_delay_relay TarrowMgr PROPERTIES INSTALL_RPATH "")
install(TARGETS TarrowCli TarrowCtrl TarrowMgrCli tarrow-compare tarrow_delay_relay Tarrow
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# TarrowMgr's Information button opens the read-me beside the program: the program and the
# read-me live in the private folder, and the command is a link to it.
install(TARGETS TarrowMgr RUNTIME DESTINATION ${TARROW_PRIVATE_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TARROW_PRIVATE_LIBDIR})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"${_tarrow_bin_to_libs}/TarrowMgr\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/TarrowMgr\" SYMBOLIC)")

include(cmake/TarrowManPages.cmake)
