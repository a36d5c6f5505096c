# The host's classes come from the library that TokenUtility.exe is made of.
target_link_libraries(${target} PRIVATE tokenutility_core)
