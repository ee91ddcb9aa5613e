# What `cmake --install` puts where, and the Debian packages (CPack).
#
# Component "runtime" (package narvo): the program in its application folder
# ${NARVO_APP_DIR} with the help viewer, bin/narvo linking to it, the tools,
# the desktop entry and icons of the repair window, the tools' man pages.
# Component "dev" (package narvo-dev): the library for the application's
# screens: static libraries, headers under include/narvo, and the CMake
# package, so that a screen project writes
#   find_package(narvo REQUIRED)
#   target_link_libraries(myscreen PRIVATE narvo::clsProd)
include(CMakePackageConfigHelpers)

set(NARVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/narvo)

# ---- The library ----
set_target_properties(prodlib PROPERTIES EXPORT_NAME clsProd)
install(TARGETS platform platform_qt prodlib EXPORT narvoTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/lib ${PROJECT_SOURCE_DIR}/platform
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/narvo COMPONENT dev
  FILES_MATCHING PATTERN "*.h")
install(EXPORT narvoTargets NAMESPACE narvo:: DESTINATION ${NARVO_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/narvoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/narvoConfig.cmake INSTALL_DESTINATION ${NARVO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/narvoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/narvoConfig.cmake ${CMAKE_BINARY_DIR}/narvoConfigVersion.cmake
  DESTINATION ${NARVO_CMAKE_DIR} COMPONENT dev)

# ---- Desktop entry and icons of the repair window ----
install(FILES ${CMAKE_CURRENT_LIST_DIR}/narvo.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
# The icons are drawn by the program's own icon code, at build time.
add_executable(narvo_write_icons ${CMAKE_CURRENT_LIST_DIR}/WriteIcons.cpp)
target_link_libraries(narvo_write_icons PRIVATE repairwindow)
set(NARVO_ICON_SIZES 16 32 48 64 128)
set(icon_files)
foreach(size ${NARVO_ICON_SIZES})
  list(APPEND icon_files ${CMAKE_BINARY_DIR}/icons/${size}/narvo.png)
  install(FILES ${CMAKE_BINARY_DIR}/icons/${size}/narvo.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT runtime)
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:narvo_write_icons> ${CMAKE_BINARY_DIR}/icons ${NARVO_ICON_SIZES}
  DEPENDS narvo_write_icons
  COMMENT "Drawing the repair window's icons")
add_custom_target(narvo_icons ALL DEPENDS ${icon_files})

# ---- Man pages of the tools, made from their --help and --version ----
find_program(HELP2MAN_PROGRAM help2man)
find_program(GZIP_PROGRAM gzip)
if(HELP2MAN_PROGRAM AND GZIP_PROGRAM)
  set(man_files)
  set(man_name_jetsql "support shell on the database files")
  set(man_name_makedemo "writes a demo DataBase folder")
  set(man_name_jetimport "converts Jet database files into the files the program opens")
  set(man_name_jetmove "moves the database files of a site onto the database server")
  set(man_tools jetsql makedemo)
  foreach(optional jetimport_cli jetmove)
    if(TARGET ${optional})
      list(APPEND man_tools ${optional})
    endif()
  endforeach()
  foreach(target ${man_tools})
    get_target_property(tool ${target} OUTPUT_NAME)
    if(NOT tool)
      set(tool ${target})
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
    set(include_opt)
    set(include_file)
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/man/${tool}.h2m)
      set(include_file ${CMAKE_CURRENT_LIST_DIR}/man/${tool}.h2m)
      set(include_opt --include=${include_file})
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN_PROGRAM} --no-info --section=1 --source=narvo "--name=${man_name_${tool}}"
              --version-string=${PROJECT_VERSION} ${include_opt}
              --output=${page} $<TARGET_FILE:${target}>
      COMMAND ${GZIP_PROGRAM} -9nf ${page}
      DEPENDS ${target} ${include_file}
      COMMENT "Man page of ${tool}")
    list(APPEND man_files ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  endforeach()
  add_custom_target(narvo_man_pages ALL DEPENDS ${man_files})
else()
  message(STATUS "help2man or gzip not found: the tools' man pages are not made")
endif()

# ---- Debian packages ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME narvo)
set(CPACK_PACKAGE_VENDOR "narvo")
set(CPACK_PACKAGE_CONTACT "narvo support <support@narvo.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Repair utility and shared routine library of a business application")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME narvo)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Repair window, support shell and tools of a multi-user business application
 The repair window removes log rows dated in the future and stale screen
 occupancy records. The tools: jetsql (a support shell on the database files:
 Jet SQL, integrity check, backup while others work, dump, CSV import),
 makedemo (a demo DataBase folder) and jetimport (converting real Jet files).")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME narvo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qt6-base-dev, libsqlite3-dev, libpq-dev, pkg-config")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Shared routine library clsProd for the business application's screens
 Static libraries, headers and a CMake package: find_package(narvo) gives the
 imported target narvo::clsProd.")
include(CPack)
