# Installs the build into a staging folder as a package would (DESTDIR, prefix
# /usr) and checks the installed files and that they name each other right.
file(REMOVE_RECURSE ${STAGE})
set(ENV{DESTDIR} ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(root ${STAGE}/usr)
set(id se.leverans.Leverans)
set(desktop ${root}/share/applications/${id}.desktop)
set(metainfo ${root}/share/metainfo/${id}.metainfo.xml)
set(icon ${root}/share/icons/hicolor/scalable/apps/${id}.svg)
set(program ${root}/bin/leverans)
set(manpage ${root}/share/man/man1/leverans.1.gz)
foreach(file IN ITEMS ${program} ${desktop} ${metainfo} ${icon} ${manpage})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND test -x ${program} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "not executable: ${program}")
endif()

# The launcher starts the installed program and shows the installed icon.
file(STRINGS ${desktop} exec REGEX "^Exec=")
file(STRINGS ${desktop} icon_name REGEX "^Icon=")
if(NOT exec STREQUAL "Exec=leverans")
  message(FATAL_ERROR "desktop entry starts '${exec}', not the installed leverans")
endif()
if(NOT icon_name STREQUAL "Icon=${id}")
  message(FATAL_ERROR "desktop entry shows '${icon_name}', not the installed ${id} icon")
endif()

# The metainfo names this desktop entry and this program.
file(READ ${metainfo} xml)
foreach(expected IN ITEMS "<id>${id}</id>"
                          "<launchable type=\"desktop-id\">${id}.desktop</launchable>"
                          "<binary>leverans</binary>")
  string(FIND "${xml}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "metainfo lacks ${expected}")
  endif()
endforeach()

file(READ ${icon} svg LIMIT 200)
if(NOT svg MATCHES "<svg ")
  message(FATAL_ERROR "${icon} is no SVG")
endif()
# man finds the page by its name and reads it compressed.
file(READ ${manpage} magic LIMIT 2 HEX)
if(NOT magic STREQUAL "1f8b")
  message(FATAL_ERROR "${manpage} is not gzip-compressed")
endif()
message(STATUS "installed under ${root}")
