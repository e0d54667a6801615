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

# The environment of every test: windows on Qt's offscreen platform with one
# screen of <width>x<height> pixels, and a home folder of its own in the build
# tree (HOME and the XDG folders), so that nothing a test does (Qt's own
# settings, the program's application folder, caches) reaches the user's home.
#
#   tessavan_test_environment(<out-variable> <width>x<height>)
function(tessavan_test_environment out screen)
  string(REPLACE "x" ";" _size ${screen})
  list(GET _size 0 _width)
  list(GET _size 1 _height)
  set(_config ${PROJECT_BINARY_DIR}/tests/screens/${screen}.json)
  file(WRITE ${_config}
       "{ \"screens\": [ { \"name\": \"screen-${screen}\", \"x\": 0, \"y\": 0, "
       "\"width\": ${_width}, \"height\": ${_height}, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1 } ] }\n")
  set(_home ${PROJECT_BINARY_DIR}/tests/home)
  file(MAKE_DIRECTORY ${_home})
  set(_platform "QT_QPA_PLATFORM=offscreen:configfile=${_config}")
  if(_config MATCHES ":")
    # Qt's platform arguments are separated by colons.
    message(WARNING "The build folder's path holds a colon: the tests' offscreen screen keeps Qt's default size")
    set(_platform "QT_QPA_PLATFORM=offscreen")
  endif()
  set(${out}
      "${_platform};HOME=${_home};XDG_CONFIG_HOME=${_home}/.config;XDG_DATA_HOME=${_home}/.local/share;XDG_CACHE_HOME=${_home}/.cache"
      PARENT_SCOPE)
endfunction()

# Tests of one area: tests/<area>/*.cpp form test_<area> (label <area>),
# tests/<area>/conformance/*.cpp form test_<area>_conformance (labels <area>
# and conformance), tests/<area>/e2e/*.cpp form test_<area>_e2e (labels <area>
# and e2e). Their windows open on a screen of 1920x1080 unless SCREEN names
# another size.
#
#   tessavan_tests(<folder> [LABEL <label>] [SCREEN <width>x<height>] DEPS <targets>...)
# The label defaults to the folder name.
function(tessavan_tests area)
  cmake_parse_arguments(ARG "" "LABEL;SCREEN" "DEPS" ${ARGN})
  string(REPLACE "/" "_" _name ${area})
  if(NOT ARG_LABEL)
    set(ARG_LABEL ${area})
  endif()
  if(NOT ARG_SCREEN)
    set(ARG_SCREEN 1920x1080)
  endif()
  tessavan_test_environment(_environment ${ARG_SCREEN})
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
      PROPERTIES LABELS "${ARG_LABEL}")
    # gtest_discover_tests takes one value per property, so the environment
    # and the second label are set after discovery, on the list of tests it
    # records.
    set(_labels "${ARG_LABEL}")
    if(NOT kind STREQUAL "")
      set(_labels "${ARG_LABEL};${kind}")
    endif()
    set(_properties_file ${CMAKE_CURRENT_BINARY_DIR}/${_target}_properties.cmake)
    file(WRITE ${_properties_file}
         "if(DEFINED ${_target}_TESTS)\n"
         "  set_tests_properties(\${${_target}_TESTS} PROPERTIES LABELS \"${_labels}\"\n"
         "                       ENVIRONMENT \"${_environment}\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_properties_file})
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
