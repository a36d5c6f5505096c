# A build of the software token without the vendor export, for the binding's
# "library without Q_GetFunctionList" case.
get_target_property(zelt_p11_sources ZeltP11 SOURCES)
list(FILTER zelt_p11_sources EXCLUDE REGEX "\\.def$")
list(TRANSFORM zelt_p11_sources PREPEND ${CMAKE_SOURCE_DIR}/sim/softtoken/)
add_library(ZeltP11NoVendor SHARED ${zelt_p11_sources} ${CMAKE_CURRENT_SOURCE_DIR}/cryptoki/ZeltP11NoVendor.def)
set_target_properties(ZeltP11NoVendor PROPERTIES PREFIX "" OUTPUT_NAME ZeltP11NoVendor
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_include_directories(ZeltP11NoVendor PRIVATE ${CMAKE_SOURCE_DIR}/sim/softtoken)
target_compile_definitions(ZeltP11NoVendor PRIVATE CRYPTOKI_EXPORTS)
target_link_libraries(ZeltP11NoVendor PRIVATE bcrypt shell32 ntdll)
add_dependencies(${target} ZeltP11NoVendor)
