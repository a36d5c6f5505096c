# The suite signs through CryptoAPI with ZeltCsp.dll (registered in the prefix by wine-test.sh)
# on keys of the software token, written with the provisioning code.
add_dependencies(${target} ZeltCsp ZeltP11)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
