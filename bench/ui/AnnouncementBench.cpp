// The announcement card made and laid out for a message of 12 MB: a title, a body of words and a
// link label, each of millions of characters, as a hostile or broken backend might send.
#include "ui/screens/AnnouncementView.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace oxel {
namespace {

void BM_AnnouncementOfTwelveMegabytes(benchmark::State& state)
{
    const QString word(4 << 20, QChar(u'm'));
    QString words;
    while (words.size() < (4 << 20)) words += QStringLiteral("paper ");
    const QVariantMap message{
        {"title", word}, {"body", words}, {"linkURL", "https://example.org"}, {"linkLabel", word}};
    for (auto _ : state) {
        AnnouncementView view(message);
        view.resize(900, 620);
        view.show();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_AnnouncementOfTwelveMegabytes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
