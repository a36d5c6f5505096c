# The suite runs zelt-token.exe from beside it and checks the token through ZeltP11.dll.
add_dependencies(${target} zelt-token ZeltP11)
target_link_libraries(${target} PRIVATE zelt_tokenkit)
