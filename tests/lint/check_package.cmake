# Builds the Debian package from the finished build into a private folder,
# checks what it holds and runs lintian over it; any lintian error fails.
#   -DBUILD_DIR= -DOUT= -DCPACK= -DLINTIAN= -DDPKG_DEB= -DFILE= -DGZIP=
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " line "${ARGN}")
    message(FATAL_ERROR "${line} failed (${result}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${OUT})
run(${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${OUT})
file(GLOB debs ${OUT}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${OUT}, found: ${debs}")
endif()
set(deb ${debs})

# Debian's file name: package_version_architecture.deb.
run(${DPKG_DEB} --show --showformat=\${Package}_\${Version}_\${Architecture}.deb ${deb})
get_filename_component(name ${deb} NAME)
if(NOT name STREQUAL out)
  message(FATAL_ERROR "package file is named ${name}, Debian would call it ${out}")
endif()

# dpkg-shlibdeps found the libraries the program links.
run(${DPKG_DEB} --field ${deb} Depends)
if(NOT out MATCHES "libqt6widgets6" OR NOT out MATCHES "libc6")
  message(FATAL_ERROR "Depends lacks the libraries of the program: ${out}")
endif()

set(root ${OUT}/contents)
run(${DPKG_DEB} --extract ${deb} ${root})
foreach(path IN ITEMS usr/bin/leverans usr/share/man/man1/leverans.1.gz
                      usr/share/doc/leverans/copyright usr/share/doc/leverans/changelog.Debian.gz)
  if(NOT EXISTS ${root}/${path})
    message(FATAL_ERROR "the package lacks /${path}")
  endif()
endforeach()

run(${FILE} --brief ${root}/usr/bin/leverans)
if(NOT out MATCHES "ELF" OR NOT out MATCHES ", stripped")
  message(FATAL_ERROR "/usr/bin/leverans is not a stripped program: ${out}")
endif()

# The packaging changelog's latest entry names this very version.
run(${GZIP} -dc ${root}/usr/share/doc/leverans/changelog.Debian.gz)
string(REGEX MATCH "^[a-z0-9.+-]+ \\(([^)]+)\\)" top "${out}")
set(logged ${CMAKE_MATCH_1})
run(${DPKG_DEB} --field ${deb} Version)
string(STRIP "${out}" version)
if(NOT logged STREQUAL version)
  message(FATAL_ERROR "package version ${version}, but packaging/debian/changelog starts at "
                      "'${logged}': add an entry for the new version")
endif()

# All tags are shown; only errors fail, and the warnings are printed for review.
execute_process(COMMAND ${LINTIAN} --display-info --fail-on error ${deb}
                RESULT_VARIABLE result OUTPUT_VARIABLE tags ERROR_VARIABLE err)
message("${tags}${err}")
if(NOT result EQUAL 0 OR tags MATCHES "(^|\n)E: ")
  message(FATAL_ERROR "lintian reports errors on ${name}")
endif()
message(STATUS "${name}: lintian reports no errors")
