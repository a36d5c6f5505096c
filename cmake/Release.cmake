# Version resources and the release build of the shipped binaries (Windows build only).
#   zelt_release(TARGET FILE DESCRIPTION [EXTRA rc lines])
# gives TARGET a version resource made from cmake/Version.cmake and a stripped copy of its file
# in ${ZELT_RELEASE_DIR}, made by the target `release`. The build's own binaries keep their
# symbols for the tests and the debugger; the package ships the stripped copies.
include(${CMAKE_SOURCE_DIR}/cmake/Version.cmake)
configure_file(${CMAKE_SOURCE_DIR}/cmake/ZeltVersion.h.in ${ZELT_GEN_DIR}/ZeltVersion.h @ONLY)

set(ZELT_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
find_program(ZELT_STRIP ${ZELT_TRIPLE}-strip REQUIRED)
set_property(GLOBAL PROPERTY ZELT_RELEASE_FILES "")
add_custom_target(release ALL)

function(zelt_release target file description)
  set(ZELT_RC_FILE ${file})
  set(ZELT_RC_DESCRIPTION ${description})
  get_filename_component(ZELT_RC_INTERNAL ${file} NAME_WE)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(ZELT_RC_FILETYPE VFT_APP)
  else()
    set(ZELT_RC_FILETYPE VFT_DLL)
  endif()
  string(JOIN "\n" ZELT_RC_EXTRA ${ARGN})
  set(rc ${ZELT_GEN_DIR}/version/${ZELT_RC_INTERNAL}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/Version.cmake)

  set(stripped ${ZELT_RELEASE_DIR}/${file})
  add_custom_command(OUTPUT ${stripped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZELT_RELEASE_DIR}
    COMMAND ${ZELT_STRIP} --strip-all -o ${stripped} $<TARGET_FILE:${target}>
    DEPENDS ${target}
    COMMENT "strip ${file}"
    VERBATIM)
  add_custom_target(release_${ZELT_RC_INTERNAL} DEPENDS ${stripped})
  add_dependencies(release release_${ZELT_RC_INTERNAL})
  set_property(GLOBAL APPEND PROPERTY ZELT_RELEASE_FILES "${stripped}|${description}")
endfunction()

zelt_release(ZeltUtilUserPage ZeltUtilUserPage.dll "Zelt Token Utility User Page"
             "            VALUE \"OLESelfRegister\", \"\"")
zelt_release(ZeltUtilImportCert ZeltUtilImportCert.dll "Zelt certificate import library")
zelt_release(ZeltP11 ZeltP11.dll "Zelt software token (Cryptoki library)")
zelt_release(ZeltCsp ZeltCsp.dll "Zelt RSA Cryptographic Service Provider")
zelt_release(TokenUtility TokenUtility.exe "Zelt Token Utility")
zelt_release(zelt-token zelt-token.exe "Zelt token provisioning tool")
zelt_release(zelt-sign zelt-sign.exe "Zelt signing client")
