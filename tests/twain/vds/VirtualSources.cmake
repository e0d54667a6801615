# The virtual scanner and the broken data sources the manager's tests load:
# shared objects named "*.ds" that export DS_Entry (the broken one does not).
#
#   tessavan_virtual_sources(<prefix>)   targets <prefix>vds and <prefix>noentry
#   tessavan_twain_test_sources(<test target> <prefix>)
#       builds the sources with the test and tells it where they are
#       (TESSAVAN_VDS_PATH, TESSAVAN_NOENTRY_PATH)
set(TESSAVAN_VDS_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tessavan_virtual_sources prefix)
  add_library(${prefix}vds MODULE ${TESSAVAN_VDS_DIR}/VirtualSource.cpp ${TESSAVAN_VDS_DIR}/VdsFiles.cpp)
  add_library(${prefix}noentry MODULE ${TESSAVAN_VDS_DIR}/NoEntry.cpp)
  foreach(target ${prefix}vds ${prefix}noentry)
    set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".ds"
                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    # GNU unique symbols would keep a library loaded after dlclose; a data
    # source must go away when the manager unloads it.
    target_compile_options(${target} PRIVATE ${TESSAVAN_WARNINGS} $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  endforeach()
  set_target_properties(${prefix}vds PROPERTIES OUTPUT_NAME vds)
  set_target_properties(${prefix}noentry PROPERTIES OUTPUT_NAME noentry)
  target_link_libraries(${prefix}vds PRIVATE JPEG::JPEG TIFF::TIFF Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

function(tessavan_twain_test_sources test prefix)
  if(NOT TARGET ${test})
    return()
  endif()
  add_dependencies(${test} ${prefix}vds ${prefix}noentry)
  target_compile_definitions(${test} PRIVATE
    TESSAVAN_VDS_PATH="$<TARGET_FILE:${prefix}vds>"
    TESSAVAN_NOENTRY_PATH="$<TARGET_FILE:${prefix}noentry>")
endfunction()
