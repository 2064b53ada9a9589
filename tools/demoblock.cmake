# The demo block, the error flag report, the section reader, the block
# listing and dump and the file helpers as a static library, shared with the
# fault-injection and concurrency tests, the fuzz targets and the benchmarks.
# Included by tools/CMakeLists.txt, and by the tests when the tool is not built.
if(NOT TARGET bcode_demoblock)
  add_library(bcode_demoblock STATIC
    ${CMAKE_CURRENT_LIST_DIR}/demoblock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/errorflags.cpp
    ${CMAKE_CURRENT_LIST_DIR}/blocklisting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nametablefile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sectionreader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/blockfile.cpp)
  target_include_directories(bcode_demoblock PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(bcode_demoblock PUBLIC bcode::bcode)
endif()
