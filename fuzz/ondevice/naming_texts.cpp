// Texts that batch naming reads from outside: the backend's descriptions and intents (one a line),
// the model's answer, and the tagger's data files. The first byte picks which. A name the model
// gives is always one line of at most a hundred characters with nothing that reorders the text.

#include "backend/Utf8Text.h"
#include "library/BatchRecord.h"
#include "ondevice/BatchNamer.h"
#include "ondevice/LexiconNounTagger.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    case 1: {
        const auto name = oxel::BatchNamer::cleanAnswer(text);
        if (name && (name->empty() || oxel::characterCount(*name) > oxel::BatchRecord::longestName ||
                     oxel::BatchRecord::fittedName(*name) != *name || !oxel::utf8OrEmpty(*name).size()))
            std::abort();
        if (name && (name->find_first_of("\n\r\t\x1b") != std::string::npos ||
                     name->find("\u202E") != std::string::npos || name->find("\u2067") != std::string::npos))
            std::abort();
        break;
    }
    default: {
        const std::vector<std::string> lines = linesOf(text);
        const std::vector<std::string> intents(lines.rbegin(), lines.rend());
        oxel::BatchNamer::heuristicName(lines, intents, "york");
        break;
    }
    }
    return 0;
}
