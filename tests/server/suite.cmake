# Included by tests/CMakeLists.txt after it has made the target server_tests.
# Every malloc of the executable goes through a wrapper that a test can make fail, so the
# module's entry point, linked in from the product library, can be run out of memory.
target_link_options(${target} PRIVATE -Wl,--wrap=malloc)
