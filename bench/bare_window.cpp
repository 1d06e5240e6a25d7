// A bare Qt window started offscreen and drawn into a PNG file: the floor under any start of the
// frame, for the start-up script (startup.sh).
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_bare_window FILE.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Qovaro"));
    window.resize(1024, 768);
    window.show();
    int result = 0;
    QTimer::singleShot(0, &window, [&] {
        QApplication::processEvents();
        if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) result = 1;
        QApplication::quit();
    });
    const int code = QApplication::exec();
    return result ? result : code;
}
