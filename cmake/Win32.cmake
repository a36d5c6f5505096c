# The Windows build: the product DLL, the stand-ins and the Wine test suites.
enable_language(RC)

set(ZELT_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(ZELT_GEN_DIR ${CMAKE_BINARY_DIR}/gen)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZELT_BIN_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ZELT_BIN_DIR})
file(MAKE_DIRECTORY ${ZELT_GEN_DIR})

# Line tables only (after the build type's -g, so it wins): enough for a backtrace, and a third
# quicker to compile than full debug info, which made each gtest-heavy test object 4 MB.
add_compile_options($<$<AND:$<CONFIG:RelWithDebInfo>,$<COMPILE_LANGUAGE:C,CXX>>:-g1>)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601
                        _WIN32_IE=0x0600 STRICT)
# Only the PKCS #11 header directory of the host system, never /usr/include itself.
include_directories(SYSTEM /usr/include/p11-kit-1)
include_directories(${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/res ${ZELT_GEN_DIR})

set(ZELT_WIN_LIBS ole32 oleaut32 uuid user32 gdi32 comctl32 comdlg32 crypt32 advapi32 rpcrt4 shlwapi shell32)

# GoogleTest from the system's sources, built with this toolchain.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZELT_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_subdirectory(src)
add_subdirectory(sim)
add_subdirectory(tests)
# Version resources, the stripped release binaries and the signed installer package.
include(cmake/Release.cmake)
add_subdirectory(packaging)
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()

include(${CMAKE_SOURCE_DIR}/cmake/Coverage.cmake)
