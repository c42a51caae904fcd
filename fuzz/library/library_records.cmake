oxel_fuzzer(library_records ${CMAKE_CURRENT_LIST_DIR}/library_records.cpp DEPS oxel_library)
