// Grade objects arrive from the backend and from files on disk: whatever they hold, decoding must
// give a grade that is safe to render, and a grade written back out (as the colour-only path stores
// it) must decode again.
#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"
#include "develop/grade/SuggestedGrade.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>

using namespace oxel;

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

bool finite(const SuggestedGrade::Triple& triple)
{
    return std::isfinite(triple[0]) && std::isfinite(triple[1]) && std::isfinite(triple[2]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto value = nlohmann::json::parse(data, data + size, nullptr, false);
    if (value.is_discarded()) return 0;
    const auto grade = SuggestedGrade::decode(value);
    const auto runnerUp = GradeRunnerUp::decode(value);
    if (!grade) return 0;
    check(finite(grade->lift) && finite(grade->gamma) && finite(grade->gain));
    check(grade->hueMoves.size() <= SuggestedGrade::maxHueMoves);
    check(grade->skinHold >= 0 && grade->skinHold <= 1);
    for (const auto& move : grade->hueMoves) check(move.from >= 0 && move.from < 360 && move.to >= 0 && move.to < 360);
    check(std::isfinite(grade->projection(*grade)));
    const auto again = SuggestedGrade::decode(nlohmann::json(*grade));
    check(bool(again) && again->hueMoves.size() == grade->hueMoves.size() && again->look == grade->look);
    if (runnerUp && runnerUp->lookAlt) (void)GradeRunnerUp::alternative(*grade, runnerUp->lookAlt);
    if (grade->look) (void)GradeTheory::cell(*grade->look);
    return 0;
}
