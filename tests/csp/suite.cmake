# The suite talks to ZeltCsp.dll through CryptoAPI (registered in the prefix by wine-test.sh)
# and sets up token contents with the provisioning code.
add_dependencies(${target} ZeltCsp ZeltP11)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
