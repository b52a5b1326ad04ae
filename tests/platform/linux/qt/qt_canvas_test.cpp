#include "platform/linux/qt/QtCanvas.h"
#include "platform/linux/qt/QtSkin.h"
#include "ui/DataPanel.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace ldt;

namespace {

bool Dark(QRgb c) { return qMax(qRed(c), qMax(qGreen(c), qBlue(c))) < 128; }

// The bounding box of the dark pixels of `image`; empty when there are none.
QRect DarkBounds(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Dark(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Surface(int w, int h, QColor fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// A white surface with `text` drawn in `rect` in the window's text font.
QImage DrawnText(QSize size, const Rect& rect, const WString& text) {
    QImage surface = Surface(size.width(), size.height(), Qt::white);
    QPainter painter(&surface);
    const QImage skin;
    const QIcon icon;
    QtCanvas canvas(painter, skin, icon);
    canvas.SetTextFont(kTextFont);
    canvas.DrawString(rect, text, kDtCenter);
    return surface;
}

}  // namespace

class QtCanvasTest : public QObject {
    Q_OBJECT
private slots:
    void copySkin_copiesOnlyThePartOfTheBlockInsideThePicture() {
        QImage skin(10, 10, QImage::Format_RGB32);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) skin.setPixel(x, y, qRgb(x * 20, y * 20, 7));
        QImage surface = Surface(20, 20, Qt::magenta);
        {
            QPainter painter(&surface);
            QIcon icon;
            QtCanvas canvas(painter, skin, icon);
            // A block that runs past the picture's right and bottom edges.
            canvas.CopySkin(1, 2, 30, 30, 6, 7);
        }
        QCOMPARE(surface.pixel(1, 2), skin.pixel(6, 7));
        QCOMPARE(surface.pixel(4, 4), skin.pixel(9, 9));
        QCOMPARE(surface.pixel(5, 2), QColor(Qt::magenta).rgb());
        QCOMPARE(surface.pixel(1, 5), QColor(Qt::magenta).rgb());
        QCOMPARE(surface.pixel(0, 0), QColor(Qt::magenta).rgb());
    }

    void focusCue_dotsTheInsideEdgeOfTheBox_inTheInverseOfWhatIsBeneath_atEachScale() {
        for (const qreal ratio : {1.0, 1.5, 2.0}) {
            QImage surface = Surface(qRound(40 * ratio), qRound(40 * ratio), Qt::white);
            surface.setDevicePixelRatio(ratio);
            {
                QPainter painter(&surface);
                const QImage skin;
                const QIcon icon;
                QtCanvas(painter, skin, icon).DrawFocusCue({10, 10, 30, 20});
            }
            // Every other device pixel of the edge of the box turns dark.
            const QRect box(qRound(10 * ratio), qRound(10 * ratio), qRound(20 * ratio), qRound(10 * ratio));
            int dark = 0;
            for (int y = 0; y < surface.height(); ++y)
                for (int x = 0; x < surface.width(); ++x) dark += Dark(surface.pixel(x, y));
            const QRect ink = DarkBounds(surface);
            const QString row = QString::number(ratio);
            QVERIFY2((ink.marginsAdded({1, 1, 1, 1}).contains(box) && box.marginsAdded({1, 1, 1, 1}).contains(ink)),
                     qPrintable(row));
            QVERIFY2(qAbs(dark - (box.width() + box.height() - 2)) <= 4, qPrintable(row + " " + QString::number(dark)));
        }
    }

    void textFont_hasTheRequestedCellHeightAndCharacterWidth() {
        const QFont font = MakeQFont(kTextFont);
        const QFontMetrics metrics(font);
        QVERIFY2(qAbs(metrics.height() - kTextFont.height) <= 1, qPrintable(QString::number(metrics.height())));
        QVERIFY2(qAbs(metrics.horizontalAdvance(QLatin1Char('0')) - kTextFont.width) <= 1,
                 qPrintable(QString::number(metrics.horizontalAdvance(QLatin1Char('0')))));
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
        QVERIFY(QFontInfo(font).weight() >= QFont::Bold);
    }

    void drawString_centresAtTheTopOfItsRectangle_onATransparentBackground() {
        const QImage surface = DrawnText({200, 60}, {50, 10, 150, 50}, u"8");
        const QRect ink = DarkBounds(surface);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(qAbs((ink.left() + ink.right()) / 2 - 100) <= 2, qPrintable(QString::number(ink.center().x())));
        QVERIFY(ink.top() >= 10 && ink.top() <= 16);
        QVERIFY(ink.bottom() < 10 + kTextFont.height);
        // Transparent: no background box around the glyph.
        QCOMPARE(surface.pixel(ink.left() - 1, ink.top()), qRgb(255, 255, 255));
    }

    void drawString_clipsTextWiderThanItsRectangleOnBothSides() {
        const QImage surface = DrawnText({300, 60}, {100, 10, 160, 30}, u"MMMMMMMMMMMMMMMMMMMM");
        const QRect ink = DarkBounds(surface);
        QVERIFY(!ink.isEmpty());
        QVERIFY(ink.left() >= 100 && ink.left() <= 102);
        QVERIFY(ink.right() <= 159 && ink.right() >= 157);
        QVERIFY(ink.top() >= 10 && ink.bottom() < 30);
    }

    void drawString_drawsEmptyTextOrAnEmptyRectangleAsNothing() {
        QVERIFY(DarkBounds(DrawnText({200, 80}, {0, 0, 200, 80}, u"")).isEmpty());
        QVERIFY(DarkBounds(DrawnText({200, 80}, {0, 0, 200, 0}, u"XX")).isEmpty());
    }

    void drawAppIcon_erasesTheBackgroundAndDrawsTheIconAtItsCorner() {
        QImage skin;
        QPixmap pixmap(QtCanvas::kIconSize, QtCanvas::kIconSize);
        pixmap.fill(Qt::black);
        const QIcon icon(pixmap);
        QImage surface = Surface(100, 100, Qt::red);
        {
            QPainter painter(&surface);
            QtCanvas canvas(painter, skin, icon);
            canvas.DrawAppIcon(10, 20);
        }
        QCOMPARE(DarkBounds(surface), QRect(10, 20, QtCanvas::kIconSize, QtCanvas::kIconSize));
        QCOMPARE(surface.pixel(0, 0), qRgb(255, 255, 255));
    }

    // The run-format skin as an opaque image of ratio 2, each pixel where
    // the runs put it (a run of the pixel above included); a file cut short
    // or missing gives none.
    void loadSkinRuns_decodesA2xPicture_elseNone() {
        const QByteArray runs("SKR1\x02\0\x02\0\x02\0\x0A\x14\x1E\x0B\x14\x1E\x01\x20\0\0\0\xE0", 22);
        QTemporaryDir dir;
        auto write = [&dir](const char* name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("whole.runs", runs);
        write("short.runs", runs.left(20));
        const QImage image = LoadSkinRuns(dir.filePath("whole.runs"));
        QCOMPARE(image.size(), QSize(2, 2));
        QCOMPARE(image.devicePixelRatio(), 2.0);
        QCOMPARE(image.pixel(0, 0), qRgb(30, 20, 11));
        QCOMPARE(image.pixel(1, 0), qRgb(30, 20, 11));
        QCOMPARE(image.pixel(0, 1), qRgb(30, 20, 10));
        QCOMPARE(image.pixel(1, 1), qRgb(30, 20, 11));
        QVERIFY(LoadSkinRuns(dir.filePath("short.runs")).isNull());
        QVERIFY(LoadSkinRuns(dir.filePath("missing.runs")).isNull());
    }
};

QTEST_MAIN(QtCanvasTest)
#include "qt_canvas_test.moc"
