// qvframe: the host frame of the suite, the main program of the course administration.
#include "framestartup.h"
#include "framewindow.h"
#include "leftwork.h"
#include "qvcomserver.h"
#include "qvinteract.h"
#include "qtwidget.h"
#include "qvui.h"
#include "scripted.h"
#include "utf.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A start that cannot go on is said on the terminal and, for a user who started the program from
// the desktop, in a box.
int RefuseStart(const std::string& message, int code) {
    std::fprintf(stderr, "qvframe: %s\n", message.c_str());
    const CString strText(qv::FromUtf8("Die Kursadministration kann nicht starten:\n" + message).c_str());
    MessageBoxW(nullptr, strText, L"Kursadministration", MB_OK | MB_ICONHAND);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    QvFrameOptions options;
    std::string error;
    if (!QvFrameParseArguments(std::vector<std::string>(argv + 1, argv + argc), options, &error)) {
        std::fprintf(stderr, "qvframe: %s\n%s", error.c_str(), QvFrameUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::printf("%s", QvFrameUsage().c_str());
        return 0;
    }
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!display && options.screenshot.empty() && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "qvframe: no display; start it with --screenshot FILE to render the window\n");
        return 2;
    }
    if (!display && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        // A private runtime folder keeps the toolkit from complaining about a missing one.
        const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }

    // Unattended, every question is answered by its default button and written to stderr.
    qv::RecordingInteraction unattended;
    if (!options.screenshot.empty()) qv::SetInteraction(&unattended);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8("Kursadministration"));
    qv::ui::EnsureApplication();
    // Off the screen nobody answers a box either.
    if (options.screenshot.empty() && QGuiApplication::platformName() == QLatin1String("offscreen"))
        qv::SetInteraction(&unattended);
    // The frame's application object comes before any module's.
    CWinApp frameApp(L"Kursadministration");

    std::string database, message;
    bool readOnly = false, created = false;
    if (!QvFramePrepareDatabase(options, &database, &message, &readOnly, &created)) return RefuseStart(message, 1);
    if (!message.empty()) std::printf("qvframe: %s\n", message.c_str());
    if (!QvFrameCheckUser(options, database, &message)) return RefuseStart(message, 2);
    QvFrameConfigure(database, options.central);
    for (const auto& [path, hr] : QvFrameRegisterLibraries(QvFrameServerLibraries()))
        std::fprintf(stderr, "qvframe: server library %s not registered (0x%08X)\n", path.c_str(), unsigned(hr));
    for (const auto& [path, hr] : QvFrameRegisterLibraries(QvFrameModuleLibraries()))
        std::fprintf(stderr, "qvframe: module %s not registered (0x%08X)\n", path.c_str(), unsigned(hr));

    const std::string user = QvFrameUser(options);
    auto* host = new CQvFrameHost;
    host->SetUserName(CString(user.c_str()));
    host->RegisterAsFrame();
    QvFrameStartServers(*host, user);
    if (created && FAILED(QvFrameAdministerNewDatabase(user)))
        std::fprintf(stderr, "qvframe: %s cannot be given the rights of the new database's administrator\n", user.c_str());
    if (FAILED(QvFrameRecordMasterMandant()))
        std::fprintf(stderr, "qvframe: the installation's own Mandant cannot be read from the database\n");
    std::vector<CString> views = QvFrameOpenViews(*host);
    if (!options.view.empty()) {
        const CString strView(qv::FromUtf8(options.view));
        const HRESULT hr = host->OpenView(strView);
        if (FAILED(hr)) {
            char szResult[16];
            std::snprintf(szResult, sizeof szResult, "0x%08X", unsigned(hr));
            host->CloseAll();
            host->InternalRelease();
            delete host;
            return RefuseStart("the view " + options.view + " cannot be opened (" + szResult + ")", 1);
        }
        views.insert(views.begin(), strView);
    }

    QvFrameSettings settings;
    settings.database = QString::fromStdString(database);
    settings.readOnly = readOnly;
    settings.user = QString::fromStdString(user);
    settings.central = options.central;
    int result = 0;
    {
        CQvFrameWindow window(host, settings);
        host->SetMainWindow(qv::ui::HandleOf(&window));
        frameApp.m_pMainWnd = nullptr;
        window.show();
        if (!views.empty()) window.ShowView(views.front());

        if (!options.screenshot.empty()) {
            // Everything queued by the start (menus, view bar, the first view) is drawn first, and
            // the lists the first page fills are filled.
            window.GrabWhenDrawn(10000, [&](const QPixmap& image) {
                if (image.isNull() || !image.save(QString::fromStdString(options.screenshot), "PNG")) {
                    std::fprintf(stderr, "qvframe: the screenshot cannot be written to %s\n", options.screenshot.c_str());
                    result = 1;
                } else {
                    std::printf("qvframe: screenshot written to %s\n", options.screenshot.c_str());
                }
                window.close();
                QApplication::quit();
            });
        }
        const int code = QApplication::exec();
        if (result == 0) result = code;
        host->CloseAll();
    }
    host->InternalRelease();
    // The host's final release keeps it for the servers that hold it while it is offered; they
    // are all closed now.
    delete host;
    QvFrameRememberDatabase(database);
    if (!QvEndLeftWork(0)) {
        // A worker is still held inside a database call that nothing reaches (a server that does
        // not answer): the process ends without destroying what that worker may still touch.
        std::fflush(nullptr);
        std::quick_exit(result);
    }
    return result;
}
