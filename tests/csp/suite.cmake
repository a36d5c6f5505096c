# The suite talks to ZeltCsp.dll through CryptoAPI (registered in the prefix by wine-test.sh)
# and sets up token contents with the provisioning code.
add_dependencies(${target} ZeltCsp ZeltP11)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
# A provider in front of ZeltCsp.dll that some cases register in its place.
add_library(ShortSizeCsp SHARED ${dir}/shortsize/ShortSizeCsp.cpp ${dir}/shortsize/ShortSizeCsp.def)
set_target_properties(ShortSizeCsp PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${ZELT_BIN_DIR})
target_link_options(ShortSizeCsp PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
add_dependencies(${target} ShortSizeCsp)
