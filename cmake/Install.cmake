# Installation and the Debian package.
#   cmake --install BUILD [--prefix DIR]   programs, desktop entry, icons, AppStream data, MIME type, udev rule
#   (cd BUILD && cpack -G DEB)             oront-v208_<version>_<arch>.deb
include(GNUInstallDirs)

# udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d, not /usr/local/...:
# with another prefix, pass -DORONT_UDEV_RULES_DIR=/etc/udev/rules.d.
set(ORONT_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Folder of the udev rule giving the seat's user access to the instrument (relative to the prefix or absolute)")
set(ORONT_PACKAGE_MAINTAINER "Oront Technology <support@oront.invalid>" CACHE STRING
    "Maintainer written into the Debian package")

set(_packaging ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS oront-v208-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The report program goes beside oront-v208-cli, which runs it for its report
# command.
foreach(_program oront-v208-report oront-v208 oront-v208-setup)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(NOT WIN32)
  install(FILES ${_packaging}/70-oront-v208.rules DESTINATION ${ORONT_UDEV_RULES_DIR})
endif()

if(TARGET oront-v208 AND NOT WIN32)
  install(FILES ${_packaging}/oront-v208.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_packaging}/com.oront.orontv208.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The memory image type the desktop entry opens (*.v208img).
  install(FILES ${_packaging}/oront-v208-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME oront-v208.xml)
  install(FILES ${_packaging}/icons/oront-v208.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # PNG sizes of the icon for desktops that do not scale SVG icons, rendered
  # from the SVG at build time.
  add_executable(oront_render_icon ${_packaging}/render_icon.cpp)
  target_link_libraries(oront_render_icon PRIVATE Qt6::Gui Qt6::Svg)
  set(_icon_sizes 16 24 32 48 64 128 256)
  set(_icon_outputs)
  set(_icon_args)
  set(_icon_dirs)
  foreach(_size IN LISTS _icon_sizes)
    set(_dir ${CMAKE_BINARY_DIR}/icons/hicolor/${_size}x${_size}/apps)
    list(APPEND _icon_dirs ${_dir})
    list(APPEND _icon_outputs ${_dir}/oront-v208.png)
    list(APPEND _icon_args ${_size} ${_dir}/oront-v208.png)
  endforeach()
  add_custom_command(
    OUTPUT ${_icon_outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_icon_dirs}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:oront_render_icon>
            ${_packaging}/icons/oront-v208.svg ${_icon_args}
    DEPENDS oront_render_icon ${_packaging}/icons/oront-v208.svg
    COMMENT "Rendering the application icon")
  add_custom_target(oront_icons ALL DEPENDS ${_icon_outputs})
  foreach(_size IN LISTS _icon_sizes)
    install(FILES ${CMAKE_BINARY_DIR}/icons/hicolor/${_size}x${_size}/apps/oront-v208.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  endforeach()
endif()

# Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME "oront-v208")
set(CPACK_PACKAGE_VENDOR "Oront Technology")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORONT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion software of the Oront V208 particle counter")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Finds the Oront V208 handheld particle counter on USB, downloads its\n"
    "measurement records, groups cleanroom classification runs with their\n"
    "ISO 14644-1 statistics, saves the records as CSV files and prints them\n"
    "as a report. Includes a command-line tool and the installer launcher.\n"
    "A udev rule gives the user at the seat access to the instrument.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORONT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libpq is opened when a server is first used, so the scan of the linked
# libraries does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpq5 (>= 15)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
