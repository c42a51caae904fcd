oxel_fuzzer(whole_render ${CMAKE_CURRENT_LIST_DIR}/whole_render.cpp DEPS oxel_library)
