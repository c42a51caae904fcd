// The main of every interface test program: GoogleTest inside a QApplication, set up as the
// application sets itself up (fonts, style, palette), with every animation instant.
#include "ui/kit/ApplicationPalette.h"
#include "ui/kit/ApplicationStyle.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Motion.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

// Qt wants a runtime folder of the user's own, mode 0700; without one it warns on every start.
void preparePrivateRuntimeFolder()
{
    const char* given = std::getenv("XDG_RUNTIME_DIR");
    if (given && *given) {
        ::mkdir(given, 0700);
        return;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "oxel-ui-test-XXXXXX").string();
    if (::mkdtemp(folder.data())) ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

} // namespace

int main(int argc, char** argv)
{
    // Runs by hand and test discovery need no X server either. Beside the first screen the
    // desktop has a large one and a laptop's, for the window's first size.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" OXEL_SOURCE_DIR "/tests/support/ui/offscreen-screens.json");
    preparePrivateRuntimeFolder();
    QApplication application(argc, argv);
    oxel::installInterfaceFonts();
    QApplication::setStyle(new oxel::ApplicationStyle);
    QApplication::setPalette(oxel::applicationPalette(oxel::Appearance::light));
    oxel::Motion::setInstant(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
