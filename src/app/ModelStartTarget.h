#pragma once

#include "app/HandoffReception.h"

namespace oxel {

class AppModel;

// The application model as the place a start's files and links go: hand-offs to its reception,
// opened files to the batch as dropped files are, links to the sign-in service.
class ModelStartTarget final : public StartTarget {
public:
    explicit ModelStartTarget(AppModel& model) : model_(model) {}

    bool showsNothing() const override;
    void markLaunchedByHandoff(std::optional<std::string> sender) override;
    void receiveHandoff(const std::vector<std::string>& files, const std::optional<std::string>& sender) override;
    void addOpened(const std::vector<std::string>& files) override;
    void openLink(const std::string& url) override;

private:
    AppModel& model_;
};

} // namespace oxel
