# clang-format --dry-run over every C++ source of ours; any change it would
# make is an error. The list is taken when the test runs, so new files count.
set(dirs route day screen app tests bench fuzz)
set(patterns)
foreach(dir IN LISTS dirs)
  list(APPEND patterns ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
endforeach()
file(GLOB_RECURSE sources LIST_DIRECTORIES false ${patterns})
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()

execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run -Werror ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang-format would change the files above "
                      "(fix with: clang-format -i FILE)")
endif()
message(STATUS "${count} files formatted as .clang-format asks")
