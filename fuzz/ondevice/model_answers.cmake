# Built from the readers' own sources: the rest of the folder holds coroutines that this clang cannot
# compile with the sanitizers.
oxel_fuzzer(model_answers ${CMAKE_CURRENT_LIST_DIR}/model_answers.cpp DEPS oxel_develop oxel_platform OpenSSL::Crypto)
target_sources(model_answers PRIVATE ${PROJECT_SOURCE_DIR}/src/ondevice/ChatCompletionsWire.cpp
  ${PROJECT_SOURCE_DIR}/src/ondevice/ModelGradeDraft.cpp ${PROJECT_SOURCE_DIR}/src/ondevice/ModelGradeAnswer.cpp
  ${PROJECT_SOURCE_DIR}/src/backend/Base64.cpp)
