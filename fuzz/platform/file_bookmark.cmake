oxel_fuzzer(file_bookmark ${CMAKE_CURRENT_LIST_DIR}/file_bookmark.cpp DEPS oxel_platform)
