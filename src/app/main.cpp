#include "app/ConsoleLines.h"
#include "app/Orvane.h"
#include "app/QuitOnSignal.h"
#include "app/StartupOptions.h"
#include "channel/SocketIoChannel.h"
#include "commands/CommandReference.h"
#include "commands/CommandTable.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLStereoWidget.h>

#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char* argv[]) {
    if (orvane::commandListingRequested(argc, argv)) {
        // No view exists: the rows are only listed, their handlers never run.
        std::cout << orvane::commandReferenceJson(orvane::commandTable(nullptr)) << std::flush;
        return std::cout ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    // The import threads print too: every line reaches the console whole.
    orvane::installConsoleLines();
    const bool hide = orvane::hideRequested(argc, argv);
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLStereoWidget::defaultFormat());
    QApplication application(argc, argv);
    orvane::QuitOnSignal quitOnSignal;

    const char* urlOverride = std::getenv("ORVANE_UI_URL");
    const std::string url =
        (urlOverride != nullptr && *urlOverride != '\0') ? urlOverride : "ws://localhost:3000";
    // The bundled UI server admits only clients that know its token.
    const char* token = std::getenv("ORVANE_UI_TOKEN");

    try {
        Orvane view(hide, std::make_unique<orvane::SocketIoChannel>(token != nullptr ? token : ""));
        view.connectChannel(url);
        return QApplication::exec();
    } catch (const std::exception& error) {
        std::cerr << "orvane: cannot start: " << error.what() << "\n";
        return EXIT_FAILURE;
    }
}
