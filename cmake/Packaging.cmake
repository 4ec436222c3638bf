# What an installed copy has besides the programs and the sample edition: manual pages, icons,
# desktop metadata, shell completion, the documentation, the source tables tellmark-build reads,
# and the Debian package made from all of it (cpack -G DEB, or scripts/package-deb.sh).
option(TELLMARK_PACKAGE "Stop when a tool that makes the manual pages or icons is missing" OFF)
set(tellmark_tool_required)
if(TELLMARK_PACKAGE)
  set(tellmark_tool_required REQUIRED)
endif()
set(TELLMARK_DEB_MAINTAINER "Tellmark maintainers <maintainers@users.noreply.c-seed-8eaa55cf.example>"
    CACHE STRING "Maintainer field of the Debian package")
find_program(SCDOC_EXECUTABLE scdoc ${tellmark_tool_required})
find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert ${tellmark_tool_required})
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Manual pages: docs/man/PAGE.1.scd to roff, compressed as Debian keeps them.
set(tellmark_man_pages tellmark-lookup tellmark-build)
if(TARGET tellmark)
  list(APPEND tellmark_man_pages tellmark)
endif()
if(SCDOC_EXECUTABLE)
  set(man_outputs)
  foreach(page ${tellmark_man_pages})
    set(src ${CMAKE_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh -c "\"$0\" < \"$1\" | \"$2\" -9n > \"$3.tmp\" && mv \"$3.tmp\" \"$3\""
              ${SCDOC_EXECUTABLE} ${src} ${GZIP_EXECUTABLE} ${out}
      DEPENDS ${src}
      COMMENT "Writing the manual page ${page}(1)"
      VERBATIM)
    list(APPEND man_outputs ${out})
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_outputs})
  install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc not found: no manual pages (bash scripts/setup-debian.sh installs it)")
endif()

if(TARGET tellmark)
  # The icon as PNG in the sizes menus and software centres ask for, from the SVG.
  if(RSVG_CONVERT_EXECUTABLE)
    set(icon_outputs)
    foreach(size 48 128 256)
      set(out ${CMAKE_BINARY_DIR}/icons/${size}x${size}/tellmark.png)
      add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT_EXECUTABLE} --width ${size} --height ${size} --format png
                --output ${out} ${CMAKE_SOURCE_DIR}/data/desktop/tellmark.svg
        DEPENDS ${CMAKE_SOURCE_DIR}/data/desktop/tellmark.svg
        COMMENT "Rendering the ${size} px icon"
        VERBATIM)
      list(APPEND icon_outputs ${out})
      install(FILES ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${icon_outputs})
  else()
    message(WARNING "rsvg-convert not found: only the scalable icon is installed")
  endif()
  install(FILES data/desktop/org.tellmark.Tellmark.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# One completion file serves both programs; bash-completion loads it by the command's name.
foreach(program tellmark-lookup tellmark-build)
  install(FILES data/completion/tellmark.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()

# tellmark-build finds these at ../share/tellmark/{sources,texts} from its own folder.
install(DIRECTORY data/sources data/texts DESTINATION ${CMAKE_INSTALL_DATADIR}/tellmark)

# Documentation, the licences of the shipped data, and the package's change log.
set(TELLMARK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tellmark)
file(GLOB tellmark_docs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${tellmark_docs} data/debian/copyright DESTINATION ${TELLMARK_DOC_DIR})
configure_file(data/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND ${GZIP_EXECUTABLE} -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
  COMMAND ${CMAKE_COMMAND} -E rename ${CMAKE_BINARY_DIR}/debian/changelog.gz
          ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz DESTINATION ${TELLMARK_DOC_DIR})

# The Debian package: whatever the rules above and in CMakeLists.txt install, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellmark)
set(CPACK_PACKAGE_VENDOR "Tellmark")
set(CPACK_PACKAGE_CONTACT "${TELLMARK_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "directory of licensed radio amateurs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TELLMARK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tellmark looks up licensed radio amateurs by call sign, and in the U.S.
database by name, city, ZIP code or county, and shows the licensee's entry:
name and address, licence class and dates, county, time zone, coordinates,
Maidenhead locator, DXCC entity and QSL manager. It searches the directory
for words, keeps notes per call, prints address labels, sends an entry in
Morse code and shows it on a map.

tellmark-lookup answers look-ups from the command line, fills the empty
fields of ADIF logs and serves a local callbook service for logging
programs; tellmark-build writes an edition from the public FCC licence data.
A synthetic sample edition is included.")
include(CPack)

# Everything the package holds, for scripts/package-deb.sh to build without the tests.
add_custom_target(package_files)
foreach(target tellmark tellmark-lookup tellmark-build sample_edition man_pages icons
               debian_changelog)
  if(TARGET ${target})
    add_dependencies(package_files ${target})
  endif()
endforeach()
