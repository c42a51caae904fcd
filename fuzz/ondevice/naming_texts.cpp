// Texts that batch naming reads from outside: the backend's descriptions and intents (one a line),
// the model's answer, and the tagger's data files. The first byte picks which.

#include "ondevice/BatchNamer.h"
#include "ondevice/LexiconNounTagger.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view tags = "pp: { det: 0.5, nn: 0.5 }\ndet: { nn: 1 }\nnn: { nn: 0.5, det: 0.5 }\n";
constexpr std::string_view unknown = "\"-unknown-\": { nn: 1 }\n\"-s-\": { nns: 1 }\n";

std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        auto lexicon = oxel::TaggerLexicon::parse(std::string(text), tags, unknown);
        if (lexicon) {
            const oxel::LexiconNounTagger tagger(std::make_shared<const oxel::TaggerLexicon>(*std::move(lexicon)));
            tagger.words("a dog on a beach with 3 cats");
        }
        break;
    }
    case 1: oxel::BatchNamer::cleanAnswer(text); break;
    default: {
        const std::vector<std::string> lines = linesOf(text);
        const std::vector<std::string> intents(lines.rbegin(), lines.rend());
        oxel::BatchNamer::heuristicName(lines, intents, "york");
        break;
    }
    }
    return 0;
}
