include(GNUInstallDirs)

# Target NAME compresses SOURCE into OUTPUT (a .gz) as part of the build, the way Debian
# ships manual pages and changelogs. -n leaves out the name and time, so the
# same source always gives the same bytes.
find_program(LEVERANS_GZIP gzip REQUIRED)
function(leverans_gzip name source output)
  get_filename_component(dir ${output} DIRECTORY)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${LEVERANS_GZIP} -9nf ${plain}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${output})
endfunction()

# The program and what a desktop needs to list and launch it. Without the
# window there is nothing to launch, so nothing is installed.
if(LEVERANS_BUILD_SCREEN)
  install(TARGETS leverans RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/se.leverans.Leverans.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/se.leverans.Leverans.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/data/se.leverans.Leverans.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  leverans_gzip(manpage ${PROJECT_SOURCE_DIR}/docs/leverans.1 ${PROJECT_BINARY_DIR}/docs/leverans.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/docs/leverans.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The office's web pages as a service (kontor webb), its settings a conffile.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/leverans-kontor-webb.service
          DESTINATION /lib/systemd/system)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/leverans-kontor-webb.default
          DESTINATION /etc/default RENAME leverans-kontor-webb)
endif()
