# Installation: the programs, the component library with its headers, an exported CMake
# package (find_package(Quillon) → Quillon::comport, Quillon::comsignal …), a pkg-config
# file, the desktop entry, icon and AppStream metadata, and a Debian package through CPack.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUILLON_LIBRARIES quillon_rtl quillon_platform quillon_comport quillon_comsignal)
set_target_properties(quillon_rtl PROPERTIES EXPORT_NAME rtl)
set_target_properties(quillon_platform PROPERTIES EXPORT_NAME platform)
set_target_properties(quillon_comport PROPERTIES EXPORT_NAME comport)
set_target_properties(quillon_comsignal PROPERTIES EXPORT_NAME comsignal)
if(TARGET quillon_platform_registry)
  list(APPEND QUILLON_LIBRARIES quillon_platform_registry)
  set_target_properties(quillon_platform_registry PROPERTIES EXPORT_NAME platform_registry)
endif()

install(TARGETS ${QUILLON_LIBRARIES}
  EXPORT QuillonTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillon)

# Public headers keep their folder, so "comport/ComPort.h" includes work the same installed.
foreach(dir rtl comport comsignal)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillon/${dir}
          FILES_MATCHING PATTERN "*.h")
endforeach()
# The platform headers a program may use: the serial API with the system's codes,
# enumeration, registered ports (Linux).
install(FILES ${PROJECT_SOURCE_DIR}/platform/WinApi.h ${PROJECT_SOURCE_DIR}/platform/DeviceEnum.h
              ${QUILLON_SYSTEM_CODES}/SystemCodes.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillon/platform)
if(UNIX)
  install(FILES ${PROJECT_SOURCE_DIR}/platform/PortRegistry.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quillon/platform)
endif()

install(EXPORT QuillonTargets NAMESPACE Quillon:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuillonConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuillonConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillonConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillonConfig.cmake ${PROJECT_BINARY_DIR}/QuillonConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)

# The prefix is found from the file's own place, so the same file serves an install under
# any prefix, the Debian package's /usr included, and a package unpacked anywhere.
file(RELATIVE_PATH QUILLON_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/packaging/quillon.pc.in ${PROJECT_BINARY_DIR}/quillon.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quillon.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Windows: the libraries, headers, CMake package and examples (sources and programs) in a ZIP.
if(WIN32)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
  install(TARGETS ${QUILLON_WINDOWS_EXAMPLES} RUNTIME DESTINATION examples/bin)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_PACKAGE_NAME quillon)
  set(CPACK_PACKAGE_VENDOR "Quillon")
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_GENERATOR ZIP)
  include(CPack)
  return()
endif()

foreach(prog quillon-console quillon-board)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/fr.quillon.Console.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/fr.quillon.Console.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/fr.quillon.Console.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# A sample, not an active rule: it names one adapter model and must be adapted first.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/60-quillon-board.rules
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/developer-guide.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon)
# The guide's examples, ready to build against the installed library.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon/examples)

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon developers <dev@quillon.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serial instrument console and serial-port component library")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillon.invalid")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
