# The suite drives ZeltP11.dll through its function lists; it is loaded from beside the suite.
add_dependencies(${target} ZeltP11)
target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/sim/softtoken)
