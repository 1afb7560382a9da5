# Installing and packaging: the three commands, the desktop entry, the icon in every size, the
# AppStream metainfo, the manual pages and the Debian package (cpack -G DEB, or scripts/package).
#
#   cmake --install <build> --prefix <P>     installs below P
#   scripts/package [<build>]                builds and checks ovatrix_VERSION_amd64.deb
#
# Nothing of the photo service or the tests is installed.

# A fuzzing build (clang, instrumented) is never installed.
if(OVX_FUZZ)
  return()
endif()

include(GNUInstallDirs)

set(OVX_APP_ID "io.github.ovatrix.Ovatrix")
set(OVX_PACKAGE_NAME "ovatrix")
# The day the project version (root CMakeLists.txt) was released: metainfo and changelog.
set(OVX_RELEASE_DATE "2026-12-09")
set(OVX_HOMEPAGE "https://github.com/ovatrix/ovatrix"
    CACHE STRING "The program's home page (package, metainfo, manual pages)")
set(OVX_MAINTAINER "Ovatrix developers <ovatrix@users.noreply.github.com>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")
# OVX_LICENSE, the program's SPDX licence (GPL-3.0-or-later, text in COPYING), is set beside the
# project version in the root CMakeLists.txt; the copyright file names it as Debian's GPL-3+.
set(OVX_SCREENSHOTS_URL "${OVX_HOMEPAGE}/raw/main/docs/screenshots")

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_out ${CMAKE_BINARY_DIR}/packaging)
set(OVX_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${OVX_PACKAGE_NAME})

# Every generated file the install rules need; ovx_package_files builds them and the programs.
set(_generated)
set(_programs)

# --- The programs -------------------------------------------------------------------------------
# ovatrix-cli and the window may not exist in every build (a build without the window, a checkout
# before the command-line front end lands).
foreach(program ovatrix ovatrix-cli ovatrix-records)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND _programs ${program})
  endif()
endforeach()

# --- Desktop entry, metainfo, Debian documentation -----------------------------------------------
configure_file(${_pkg}/ovatrix.desktop ${_out}/${OVX_APP_ID}.desktop @ONLY)
configure_file(${_pkg}/ovatrix.metainfo.xml.in ${_out}/${OVX_APP_ID}.metainfo.xml @ONLY)
configure_file(${_pkg}/copyright.in ${_out}/copyright @ONLY)
execute_process(COMMAND date -u -d "${OVX_RELEASE_DATE} 12:00:00" +%s
                OUTPUT_VARIABLE _release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND date -u -R -d "${OVX_RELEASE_DATE} 12:00:00"
                OUTPUT_VARIABLE OVX_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${_pkg}/changelog.in ${_out}/changelog @ONLY)
if(TARGET ovatrix)
  install(FILES ${_out}/${OVX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${_out}/${OVX_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
endif()
install(FILES ${_out}/copyright DESTINATION ${OVX_DOCDIR})

find_program(OVX_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${_out}/changelog.gz
  COMMAND ${OVX_GZIP} -9nc ${_out}/changelog > ${_out}/changelog.gz
  DEPENDS ${_out}/changelog
  COMMENT "Compressing the package changelog")
list(APPEND _generated ${_out}/changelog.gz)
install(FILES ${_out}/changelog.gz DESTINATION ${OVX_DOCDIR})

# --- Icon: the SVG, and PNG sizes rendered from it -----------------------------------------------
set(_icons ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ${_pkg}/ovatrix.svg DESTINATION ${_icons}/scalable/apps RENAME ${OVX_APP_ID}.svg)
find_program(OVX_RSVG_CONVERT rsvg-convert)
if(OVX_RSVG_CONVERT)
  foreach(size 16 32 48 64 128 256)
    set(_png ${_out}/icons/${size}/${OVX_APP_ID}.png)
    add_custom_command(
      OUTPUT ${_png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}/icons/${size}
      COMMAND ${OVX_RSVG_CONVERT} -w ${size} -h ${size} -o ${_png} ${_pkg}/ovatrix.svg
      DEPENDS ${_pkg}/ovatrix.svg
      COMMENT "Rendering the ${size} px icon")
    list(APPEND _generated ${_png})
    install(FILES ${_png} DESTINATION ${_icons}/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: only the SVG icon is installed")
endif()

# --- Manual pages, from each command's own --help and --version ----------------------------------
find_program(OVX_HELP2MAN help2man)
set(_man_ovatrix "download the photo albums of a Weibo user in bulk")
set(_man_ovatrix-cli "download the photo albums of a Weibo user from the command line")
set(_man_ovatrix-records "list, look up, add and check download records")
if(OVX_HELP2MAN AND _programs)
  foreach(program ${_programs})
    set(_page ${_out}/man/${program}.1)
    set(_includes --include ${_pkg}/man/files.h2m)
    set(_include_deps ${_pkg}/man/files.h2m)
    if(EXISTS ${_pkg}/man/${program}.h2m)
      list(APPEND _includes --include ${_pkg}/man/${program}.h2m)
      list(APPEND _include_deps ${_pkg}/man/${program}.h2m)
    endif()
    add_custom_command(
      OUTPUT ${_page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${_release_epoch} QT_QPA_PLATFORM=offscreen
              ${OVX_HELP2MAN} --locale=C.UTF-8 --no-info --no-discard-stderr
              --name=${_man_${program}} --section=1 ${_includes} --output=${_page}
              $<TARGET_FILE:${program}>
      COMMAND ${OVX_GZIP} -9nf ${_page}
      DEPENDS ${program} ${_include_deps}
      COMMENT "Writing the manual page of ${program}"
      VERBATIM)
    list(APPEND _generated ${_page}.gz)
    install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
elseif(_programs)
  message(WARNING "help2man not found: no manual pages are made or installed")
endif()

add_custom_target(ovx_package_files ALL DEPENDS ${_generated})
if(_programs)
  add_dependencies(ovx_package_files ${_programs})
endif()

# --- The Debian package ---------------------------------------------------------------------------
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME ${OVX_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Ovatrix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${OVX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download the photo albums of a Weibo user in bulk")
# Debian wants the extended description in lines of at most 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Ovatrix saves every full-size photo of a Weibo user's albums, one folder per"
    "album. Log in inside the embedded browser, name the user by the address of the"
    "home page, tick the albums and start the download. Photos can be named by"
    "caption, sequence number or upload date, limited to a date range, and photos"
    "saved before are skipped."
    "."
    "The package also holds ovatrix-cli, which runs the same download without a"
    "window, and ovatrix-records, which lists and checks the download records.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OVX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${OVX_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# The test that installs into a temporary prefix and runs the installed commands.
if(NOT OVX_FUZZ AND EXISTS ${PROJECT_SOURCE_DIR}/tests/package/CMakeLists.txt)
  add_subdirectory(tests/package)
endif()
