# Built from the readers' own source: the rest of the folder holds coroutines that this clang cannot
# compile with the sanitizers.
oxel_fuzzer(remote_answers ${CMAKE_CURRENT_LIST_DIR}/remote_answers.cpp DEPS oxel_platform)
target_sources(remote_answers PRIVATE ${PROJECT_SOURCE_DIR}/src/model/RemoteAnswers.cpp
                                      ${PROJECT_SOURCE_DIR}/src/develop/grade/LookName.cpp)
