# ZELT_COVERAGE=ON builds the product's objects with gcov counters (make coverage, in its own
# build folder). Only the product is instrumented: the DLL and every executable that links the
# product library carry libgcov, statically like the rest of the runtime. The objects are shared
# by the DLL and the library, so every process adds its counts to the same .gcda files.
option(ZELT_COVERAGE "Build the product with gcov counters" OFF)
if(ZELT_COVERAGE)
  # Unoptimised, so the counts map onto source lines; NDEBUG stays as the build type sets it.
  target_compile_options(zeltpage_obj PRIVATE --coverage -O0 -fprofile-update=atomic)
  target_link_options(ZeltUtilUserPage PRIVATE --coverage)
  target_link_options(zeltpage_core INTERFACE --coverage)
endif()
