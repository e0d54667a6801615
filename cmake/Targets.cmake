# One static library per source folder. Sources are picked up from the folder
# itself (not its sub-folders that are libraries of their own), so adding a
# file needs no edit here.
#
#   tessavan_library(<target> <folder> [DEPS <targets>...] [QT])
function(tessavan_library target folder)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.c)
  if(NOT _src)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${target} STATIC ${_src})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE ${TESSAVAN_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  if(ARG_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# Tests of one area: tests/<area>/*.cpp form test_<area> (label <area>),
# tests/<area>/conformance/*.cpp form test_<area>_conformance (labels <area>
# and conformance), tests/<area>/e2e/*.cpp form test_<area>_e2e (labels <area>
# and e2e).
#
#   tessavan_tests(<folder> [LABEL <label>] DEPS <targets>...)
# The label defaults to the folder name.
function(tessavan_tests area)
  cmake_parse_arguments(ARG "" "LABEL" "DEPS" ${ARGN})
  string(REPLACE "/" "_" _name ${area})
  if(NOT ARG_LABEL)
    set(ARG_LABEL ${area})
  endif()
  foreach(kind "" conformance e2e)
    if(kind STREQUAL "")
      set(_dir ${CMAKE_CURRENT_SOURCE_DIR}/${area})
      set(_target test_${_name})
    else()
      set(_dir ${CMAKE_CURRENT_SOURCE_DIR}/${area}/${kind})
      set(_target test_${_name}_${kind})
    endif()
    file(GLOB _src CONFIGURE_DEPENDS ${_dir}/*.cpp)
    if(NOT _src)
      continue()
    endif()
    add_executable(${_target} ${_src})
    target_compile_options(${_target} PRIVATE ${TESSAVAN_WARNINGS})
    target_link_libraries(${_target} PRIVATE test_support ${ARG_DEPS} GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${_target}
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${ARG_LABEL}"
                 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(NOT kind STREQUAL "")
      # gtest_discover_tests takes one value per property, so the second
      # label is added after discovery, from the list of tests it records.
      set(_labels_file ${CMAKE_CURRENT_BINARY_DIR}/${_target}_labels.cmake)
      file(WRITE ${_labels_file}
           "if(DEFINED ${_target}_TESTS)\n"
           "  set_tests_properties(\${${_target}_TESTS} PROPERTIES LABELS \"${ARG_LABEL};${kind}\")\n"
           "endif()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_labels_file})
    endif()
  endforeach()
endfunction()

# Fails the configuration when a source of the library's folder (not its
# sub-folders) includes a header whose path starts with one of the prefixes:
# the dependency direction is kept by the build, not by habit.
#
#   tessavan_forbid_includes(<folder> <prefix>...)
function(tessavan_forbid_includes folder)
  file(GLOB _files CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  foreach(_file ${_files})
    file(STRINGS ${_file} _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(_line ${_includes})
      foreach(_prefix ${ARGN})
        string(FIND "${_line}" "\"${_prefix}" _at)
        if(_at GREATER -1)
          message(FATAL_ERROR "${_file}: '${_line}' - src/${folder} may not include ${_prefix}*")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
