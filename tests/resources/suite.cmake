# Included by tests/CMakeLists.txt after it has made the target resources_tests.
# The tests check the resource ids that the product sources name; scripts/used-ids.py lists
# them in a generated header, rebuilt whenever a source file changes.
find_program(ZELT_PYTHON3 NAMES python3 python REQUIRED)

set(zelt_used_ids_dir ${CMAKE_CURRENT_BINARY_DIR}/resources_generated)
set(zelt_used_ids_header ${zelt_used_ids_dir}/UsedResourceIds.h)
file(GLOB_RECURSE zelt_used_ids_inputs CONFIGURE_DEPENDS
  ${ZELT_SOURCE_DIR}/src/*.cpp ${ZELT_SOURCE_DIR}/src/*.h)

add_custom_command(OUTPUT ${zelt_used_ids_header}
  COMMAND ${ZELT_PYTHON3} ${ZELT_SOURCE_DIR}/scripts/used-ids.py
          --src ${ZELT_SOURCE_DIR}/src --header ${ZELT_RES_DIR}/resource.h --out ${zelt_used_ids_header}
  DEPENDS ${ZELT_SOURCE_DIR}/scripts/used-ids.py ${zelt_used_ids_inputs}
  COMMENT "Listing the resource ids used by the product sources"
  VERBATIM)

target_sources(resources_tests PRIVATE ${zelt_used_ids_header})
target_include_directories(resources_tests PRIVATE ${zelt_used_ids_dir} ${ZELT_RES_DIR})
