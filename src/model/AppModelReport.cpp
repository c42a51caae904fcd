#include "model/AppModel.h"

#include "async/Offload.h"
#include "backend/AccountEndpoints.h"
#include "backend/SupportLink.h"

#include <algorithm>

namespace oxel {

void AppModel::confirmRemove(const std::shared_ptr<BatchItem>& item)
{
    enum Answer { removeIt, keepIt, reportThenRemoveIt };
    if (!item->renderFile && !item->colourOnly && !item->result()) return remove(item);
    const bool colourOnly = item->colourOnly || (item->result() && item->result()->colourOnly);
    const bool reportable = reportTarget(*item).has_value();
    std::string information;
    if (colourOnly) {
        information = "its grade goes from the library too. the original is not touched.";
    } else {
        information =
            "its result goes from the library too. the original is not touched. processing it again spends a shot.";
        if (reportable)
            information += "\n\nif something is wrong with it, report it first and oxel keeps the picture for 30 days.";
    }
    std::vector<std::string> buttons{"remove", "keep it"};
    if (reportable) buttons.emplace_back("report it, then remove");
    Alert alert{"remove " + item->url().filename().string() + " from the batch?", std::move(information),
                std::move(buttons), keepIt};
    auto ask = [](AppModel& model, std::shared_ptr<BatchItem> item, Alert alert) -> Task<void> {
        const int answer = co_await model.services_.panels.ask(std::move(alert));
        if (answer == removeIt) model.remove(item);
        if (answer == reportThenRemoveIt) co_await model.reportThenRemove(item);
    };
    tasks_->spawn(ask(*this, item, std::move(alert)));
}

Task<AppModel::ReportOutcome> AppModel::sendReport(std::shared_ptr<BatchItem> item, bool openSupport)
{
    auto target = reportTarget(*item);
    if (!target || reporting_.contains(item->id)) co_return ReportOutcome{};
    const auto id = item->id;
    reporting_.insert(id);
    changed.emit(Field::reporting);
    setStatusLine("sending the report…");
    auto making = reportPicture(item->result(), developSettings(*item));
    const auto picture = co_await std::move(making);
    auto send = [target = *target, picture] {
        std::optional<std::string_view> image;
        if (picture) image.emplace(reinterpret_cast<const char*>(picture->data()), picture->size());
        return reportResult(target.jobId, target.userId, image);
    };
    auto reportId = co_await offload(services_.pool, WorkPriority::userInitiated, std::move(send));
    // The picture went with the report: the result is out of the program, stored or not.
    if (reportId && picture) runner_.confirm(*item, target->jobId);
    if (!reportId)
        setStatusLine("the report did not go · try again");
    else if (picture)
        setStatusLine("report " + *reportId + " sent · the picture is kept for 30 days", StatusKind::passing);
    else
        setStatusLine("report " + *reportId + " sent without the picture", StatusKind::passing);
    if (openSupport) services_.openURL(supportURL("report_output", target->jobId, reportId));
    reporting_.erase(id);
    changed.emit(Field::reporting);
    co_return ReportOutcome{reportId, reportId && picture};
}

Task<void> AppModel::reportThenRemove(std::shared_ptr<BatchItem> item)
{
    const auto name = item->url().filename().string();
    const auto outcome = co_await sendReport(item, true);
    if (!outcome.reportId || !outcome.pictureWent) {
        setStatusLine("the picture did not reach oxel · " + name + " is still in the batch");
        co_return;
    }
    auto held = std::find_if(items_.begin(), items_.end(), [&](const auto& other) { return other->id == item->id; });
    if (held == items_.end()) co_return;
    remove(std::shared_ptr<BatchItem>(*held));
    setStatusLine("report " + *outcome.reportId + " sent · " + name + " removed", StatusKind::passing);
}

} // namespace oxel
