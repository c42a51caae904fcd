oxel_fuzzer(icc_reader ${CMAKE_CURRENT_LIST_DIR}/icc_reader.cpp DEPS oxel_develop)
