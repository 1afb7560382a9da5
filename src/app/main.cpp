// Ovatrix: downloads the photo albums of one Weibo user.

#include <QApplication>
#include <QStyleFactory>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "app/GuiInteraction.h"
#include "app/GuiPumpingDelay.h"
#include "app/MainWindow.h"
#include "app/StartUp.h"
#include "app/TerminationSignals.h"
#include "app/WorkerThread.h"
#include "runtime/Interaction.h"

namespace {

// The embedded browser runs as root in containers and without a GPU on headless machines.
void PrepareBrowserEnvironment() {
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
#ifdef Q_OS_UNIX
        if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    }
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" &&
        qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer without a display (the manual page is made from them).
    if (const auto code = ovx::AnswerInformationOption(argc, argv, std::cout)) return *code;
    PrepareBrowserEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovatrix"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    ovx::GuiInteraction interaction;
    ovx::InstallInteraction(&interaction);
    ovx::InstallGuiPumpingDelay();

    auto window = std::make_unique<ovx::MainWindow>();
    interaction.SetRoot(window.get());
    // Ctrl-C and SIGTERM close the window the normal way: runs stop, workers are waited for.
    ovx::TerminationSignals termination;
    QObject::connect(&termination, &ovx::TerminationSignals::received, window.get(),
                     [&window] { window->close(); });
    window->show();
    const int code = app.exec();

    // The window is closed: answer any box a worker waits on, ask every worker to stop and give
    // them a moment to finish the step they are in, so no file is left half written.
    interaction.Shutdown();
    const bool allStopped = ovx::WorkerThread::StopAll(std::chrono::seconds(10), [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    });
    window.reset();
    ovx::InstallInteraction(nullptr);
    if (!allStopped) {
        // A worker stuck beyond its bounds must not keep the process alive or run into the
        // teardown of objects it still uses.
        std::_Exit(code);
    }
    return code;
}
