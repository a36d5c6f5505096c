# Token contents are written with the provisioning kit's catalog and record formats.
add_dependencies(${target} ZeltCsp ZeltP11)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
