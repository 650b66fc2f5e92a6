# Installation of liborva: the header, the library, the orva command with its
# manual page, completion and editor files, a CMake package
# (find_package(orva) -> orva::orva), a pkg-config file (orva.pc) and the
# licence.
# Included from the top-level CMakeLists.txt after every target exists.
include(CMakePackageConfigHelpers)

set(ORVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/orva)

install(TARGETS orva EXPORT orvaTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/orva.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET orva_cli)
  install(TARGETS orva_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # What goes with the command: its manual page, bash completion and the
  # syntax files for Vim and for editors that read TextMate grammars (a
  # VS Code extension folder).
  set(ORVA_SHARE ${PROJECT_SOURCE_DIR}/tools/orva/share)
  install(FILES ${ORVA_SHARE}/orva.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${ORVA_SHARE}/orva.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME orva)
  install(DIRECTORY ${ORVA_SHARE}/vim/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vim/vimfiles)
  install(DIRECTORY ${ORVA_SHARE}/vscode/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orva/editors/vscode)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT orvaTargets NAMESPACE orva:: FILE orvaTargets.cmake DESTINATION ${ORVA_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/orvaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/orvaConfig.cmake
  INSTALL_DESTINATION ${ORVA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvaConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvaConfig.cmake ${PROJECT_BINARY_DIR}/orvaConfigVersion.cmake
  DESTINATION ${ORVA_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so it stays right
# when the prefix is chosen at install time (cmake --install --prefix).
set(ORVA_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${ORVA_PC_DIR}")
  set(ORVA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH ORVA_PC_UP /orva-prefix/${ORVA_PC_DIR} /orva-prefix)
  string(REGEX REPLACE "/$" "" ORVA_PC_UP "${ORVA_PC_UP}")
  set(ORVA_PC_PREFIX "\${pcfiledir}/${ORVA_PC_UP}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(ORVA_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(ORVA_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(ORVA_PC_CFLAGS "")
if(BUILD_SHARED_LIBS)
  set(ORVA_PC_CFLAGS " -DORVA_SHARED_BUILD")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/orva.pc.in ${PROJECT_BINARY_DIR}/orva.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/orva.pc DESTINATION ${ORVA_PC_DIR})
