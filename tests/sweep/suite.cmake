# The flows reach the token's CSP through CryptoAPI (registered in the prefix by wine-test.sh)
# and the import library; the token contents are written with the provisioning code.
add_dependencies(${target} ZeltCsp ZeltP11 ZeltUtilImportCert)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/sim/softtoken/TokenImage.cpp)
set(zelt_suite_shards 3)
