#pragma once

#include "ondevice/LanguageModel.h"

namespace oxel {

// The model of a computer where none is set up (or the one configured may not be used): never
// available, and every request fails at once.
class NoLanguageModel final : public LanguageModel {
public:
    explicit NoLanguageModel(ModelAvailability why = {}) : why_(std::move(why)) {}

    ModelAvailability availability() const override { return why_; }
    bool readsPictures() const override { return false; }
    void refreshAvailability() override {}
    Task<ModelReply> respond(ModelRequest request, CancelToken cancel = {}) override;

private:
    ModelAvailability why_;
};

} // namespace oxel
