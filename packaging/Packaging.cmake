# Install rules and the Debian package: the two programs, the help text, the
# desktop entry and icons, the udev rule for the programmer's USB bridge and
# the manual pages. The virtual programmer's drop-in library is left out on
# purpose; velmar-cli --virtual carries the virtual programmer inside.

set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(VELMAR_UDEV_RULES_DIR ${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d)

install(TARGETS velmar-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VELMAR_UI)
  install(TARGETS velmar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/ui/Win_Velmar.Txt DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar)
  install(FILES ${pkg}/velmar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${pkg}/velmar.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  find_program(VELMAR_RSVG_CONVERT rsvg-convert)
  if(VELMAR_RSVG_CONVERT)
    set(icons)
    foreach(size 48 256)
      set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/velmar.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${VELMAR_RSVG_CONVERT} -w ${size} -h ${size} ${pkg}/velmar.svg -o ${png}
        DEPENDS ${pkg}/velmar.svg
        COMMENT "Rendering the ${size} pixel icon")
      list(APPEND icons ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(velmar_icons ALL DEPENDS ${icons})
  else()
    message(WARNING "rsvg-convert not found (librsvg2-bin): the PNG icons are not installed")
  endif()
endif()

install(FILES ${pkg}/60-velmar.rules DESTINATION lib/udev/rules.d)

# Manual pages from the programs' own --help.
set(pages velmar-cli)
if(VELMAR_UI)
  list(APPEND pages velmar)
endif()
set(manpages)
foreach(page ${pages})
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${page}> -DTEMPLATE=${pkg}/${page}.1.in
            -DOUTPUT=${out} -DVERSION=${PROJECT_VERSION} -DUDEV_RULES_DIR=${VELMAR_UDEV_RULES_DIR}
            -P ${pkg}/ManPage.cmake
    DEPENDS ${page} ${pkg}/${page}.1.in ${pkg}/ManPage.cmake
    COMMENT "Writing the manual page ${page}(1)")
  list(APPEND manpages ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(velmar_manpages ALL DEPENDS ${manpages})

set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND gzip -9n -c ${pkg}/changelog > ${changelog}
  DEPENDS ${pkg}/changelog)
add_custom_target(velmar_changelog ALL DEPENDS ${changelog})
install(FILES ${pkg}/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "velmar maintainers <maintainers@users.noreply.c-seed-081ff7ad.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programmer software for MCS-48/51 EPROMs and 89C/89S flash parts")
set(CPACK_PACKAGE_DESCRIPTION
    "Host software of the Brindle Programmer, a USB programmer (FTDI bridge) for
MCS-48 and MCS-51 EPROM parts and Atmel 89C/89S flash microcontrollers.
It loads binary, Intel hex, Motorola S-record and ASCII hex images into a
64 KiB buffer and blank-checks, programs, verifies, reads, compares, erases
and locks the part in the socket.
.
The package holds the Qt window (velmar), the command line for scripts
(velmar-cli, with a built-in virtual programmer) and a udev rule that lets
the user at the seat reach the programmer without root.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${pkg}/postinst;${pkg}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
include(CPack)
