#pragma once

#include "backend/ProProduct.h"
#include "sheets/ModelSheet.h"

#include <optional>
#include <string>

class QVBoxLayout;

namespace oxel {

class TextLabel;

// "40 shots in the roll"; "…" while no balance is held.
std::string rollLine(std::optional<int64_t> balance);

// The shop: the shots in the roll and the packs for sale, each with its price and "buy". Buying
// opens the checkout in the browser and leaves the sheet open; the roll and the packs follow the
// model as they change. Shown, it asks the model for the product list unless one is held.
class CreditsSheet : public ModelSheet {
    Q_OBJECT
public:
    // `currency`: the ISO 4217 code whose price a pack shows when it has one.
    CreditsSheet(AppModel& model, QWidget* parent, std::optional<std::string> currency = currentCurrencyCode());

    static constexpr int sheetWidth = 440;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void rebuildPacks();
    QWidget* packRow(const ProProduct& product, bool shopOpen);

    std::optional<std::string> currency_;
    TextLabel* roll_;
    QVBoxLayout* packs_;
    std::optional<ProProductsResponse> shown_;
    bool built_ = false;
};

} // namespace oxel
