# Built from the reader's own source, so that the fuzzer needs nothing but zlib.
oxel_fuzzer(layered_reader ${CMAKE_CURRENT_LIST_DIR}/layered_reader.cpp DEPS ZLIB::ZLIB)
target_sources(layered_reader PRIVATE ${PROJECT_SOURCE_DIR}/src/export/PSDReader.cpp)
