# A build of the software token without the vendor export, for the binding's
# "library without Q_GetFunctionList" case: the token's own objects, another export list.
add_library(ZeltP11NoVendor SHARED $<TARGET_OBJECTS:zeltp11_objects>
  ${CMAKE_CURRENT_SOURCE_DIR}/cryptoki/ZeltP11NoVendor.def)
set_target_properties(ZeltP11NoVendor PROPERTIES PREFIX "" OUTPUT_NAME ZeltP11NoVendor
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(ZeltP11NoVendor PRIVATE bcrypt shell32 ntdll)
add_dependencies(${target} ZeltP11NoVendor)
