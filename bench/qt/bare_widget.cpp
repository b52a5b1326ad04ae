// The start-up baseline for the Qt program: a frameless 816x418 top-level
// widget placed like the program's window, painting a plain dark fill.
// bench/startup-qt.sh times exec -> first paint of both.
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace {

class BareWidget final : public QWidget {
public:
    BareWidget() : QWidget(nullptr, Qt::FramelessWindowHint) {
        setWindowTitle(QStringLiteral("Bare Widget"));
        setFixedSize(816, 418);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        move(screen.width() / 2 - 408, (screen.height() - 20) / 2 - 209);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x30, 0x30, 0x30));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BareWidget widget;
    widget.show();
    return app.exec();
}
