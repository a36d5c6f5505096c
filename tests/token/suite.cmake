# The catalog and container record formats as the provisioning tool writes them.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/sim/tools/ContainerFormat.cpp)
target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/sim/tools)
