# The fuzzers' checks and seed corpora as a library of plain C++, so that the
# regression tests run them with any compiler. Included by fuzz/ (clang only)
# and by tests/fuzz_regressions/ (every build).
include_guard(GLOBAL)

set(TESSALY_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(tessaly-fuzz-harness STATIC
  ${TESSALY_FUZZ_DIR}/StreamDescriptionCheck.cpp
  ${TESSALY_FUZZ_DIR}/RegistryTextCheck.cpp
  ${TESSALY_FUZZ_DIR}/GraphCheck.cpp
  ${TESSALY_FUZZ_DIR}/ExpectationCheck.cpp
  ${TESSALY_FUZZ_DIR}/WrittenFilm.cpp
  ${TESSALY_FUZZ_DIR}/CinepakFrameCheck.cpp
  ${TESSALY_FUZZ_DIR}/DecodedVideoCheck.cpp
  ${TESSALY_FUZZ_DIR}/SeedCorpus.cpp)
# The checks build on the tests' in-memory sources and recording sink
# (tests/support); whoever links the harness provides them.
target_include_directories(tessaly-fuzz-harness PUBLIC ${TESSALY_FUZZ_DIR}
  ${TESSALY_FUZZ_DIR}/../tests)
target_link_libraries(tessaly-fuzz-harness PUBLIC tessaly-decoder-filter tessaly-core
  tessaly-platform tessaly-filmwriter tessaly-cinepak)
