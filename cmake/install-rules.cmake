include(GNUInstallDirs)

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
endif()
