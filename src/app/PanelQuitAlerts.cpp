#include "app/PanelQuitAlerts.h"

#include "model/ModelServices.h"

#include <QEventLoop>

#include <memory>

namespace oxel {
namespace {

Task<void> answerInto(ModelPanels& panels, Alert alert, std::shared_ptr<std::optional<int>> answer, QEventLoop* loop)
{
    *answer = co_await panels.ask(std::move(alert));
    loop->quit();
}

} // namespace

size_t PanelQuitAlerts::run(const QuitAlert& alert)
{
    QEventLoop loop;
    auto answer = std::make_shared<std::optional<int>>();
    scope_.spawn(
        answerInto(panels_, Alert{alert.message, alert.informative, alert.buttons, alert.safeAnswer}, answer, &loop));
    if (!*answer) loop.exec();
    const int chosen = answer->value_or(int(alert.safeAnswer));
    return chosen >= 0 && size_t(chosen) < alert.buttons.size() ? size_t(chosen) : alert.safeAnswer;
}

} // namespace oxel
