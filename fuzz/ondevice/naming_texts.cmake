# Built from the naming texts' own sources: the rest of the folder holds coroutines that this clang
# cannot compile with the sanitizers.
oxel_fuzzer(naming_texts ${CMAKE_CURRENT_LIST_DIR}/naming_texts.cpp DEPS ICU::uc)
target_sources(naming_texts PRIVATE ${PROJECT_SOURCE_DIR}/src/ondevice/BatchNamer.cpp
  ${PROJECT_SOURCE_DIR}/src/ondevice/BatchNamerPrompt.cpp ${PROJECT_SOURCE_DIR}/src/ondevice/TaggerLexicon.cpp
  ${PROJECT_SOURCE_DIR}/src/ondevice/LexiconNounTagger.cpp ${PROJECT_SOURCE_DIR}/src/ondevice/FirstOccurrences.cpp
  ${PROJECT_SOURCE_DIR}/src/backend/Utf8Text.cpp ${PROJECT_SOURCE_DIR}/src/platform/Joined.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/Diagnostics.cpp)
