oxel_fuzzer(source_headers ${CMAKE_CURRENT_LIST_DIR}/source_headers.cpp DEPS oxel_develop)
