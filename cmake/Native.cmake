# The native build: pure code only (parsers, formatting), its tests and the fuzz targets.
include(${CMAKE_SOURCE_DIR}/cmake/PureSources.cmake OPTIONAL)
include_directories(${CMAKE_SOURCE_DIR}/src)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZELT_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(ZELT_PURE_SOURCES)
  list(TRANSFORM ZELT_PURE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/src/)
  add_library(zelt_pure STATIC ${ZELT_PURE_SOURCES})
endif()

# Each folder under tests/native is one suite: its own CMakeLists.txt, or all its .cpp files.
file(GLOB zelt_native_suites LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*)
foreach(dir ${zelt_native_suites})
  if(NOT IS_DIRECTORY ${dir})
    continue()
  endif()
  get_filename_component(suite ${dir} NAME)
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir} ${CMAKE_BINARY_DIR}/tests/${suite})
    continue()
  endif()
  file(GLOB suite_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT suite_sources)
    continue()
  endif()
  add_executable(native_${suite}_tests ${suite_sources})
  target_compile_definitions(native_${suite}_tests PRIVATE ZELT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(TARGET zelt_pure)
    target_link_libraries(native_${suite}_tests PRIVATE zelt_pure)
  endif()
  target_link_libraries(native_${suite}_tests PRIVATE gtest_main gmock)
  add_test(NAME native_${suite} COMMAND native_${suite}_tests)
  set_tests_properties(native_${suite} PROPERTIES TIMEOUT 600)
endforeach()

# The user's guide shows only screenshots that the demo makes (no build needed).
add_test(NAME native_guide COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/guide-images.sh)

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()
