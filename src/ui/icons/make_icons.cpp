// Draws the window icon: a printer taking a download arrow, at 32 x 32 and 16 x 16 in 16
// colours. Run it again after changing it and commit the PNGs it writes.
//   make_icons OUTPUT_DIR
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>

namespace {

// Transparent plus fifteen colours of the classic 16-colour palette.
QList<QRgb> palette16() {
    return {qRgba(0, 0, 0, 0),   qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),
            qRgb(128, 128, 0),   qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128),
            qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),
            qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(255, 255, 255)};
}

// Everything is drawn on a 32-unit grid and scaled, without antialiasing, so that every pixel
// keeps a palette colour.
QImage draw(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.scale(size / 32.0, size / 32.0);
    const QColor black(0, 0, 0), grey(128, 128, 128), silver(192, 192, 192), white(255, 255, 255);
    const QColor green(0, 128, 0), lime(0, 255, 0), yellow(255, 255, 0);

    // Paper going in at the back.
    p.setPen(Qt::NoPen);
    p.setBrush(black);
    p.drawRect(8, 2, 16, 12);
    p.setBrush(white);
    p.drawRect(9, 3, 14, 11);
    // The printer body.
    p.setBrush(black);
    p.drawRect(2, 12, 28, 16);
    p.setBrush(silver);
    p.drawRect(3, 13, 26, 14);
    p.setBrush(grey);
    p.drawRect(3, 22, 26, 5);
    // Paper slot and a ready light.
    p.setBrush(black);
    p.drawRect(7, 24, 18, 2);
    p.setBrush(yellow);
    p.drawRect(24, 15, 3, 3);
    // The download arrow.
    p.setBrush(green);
    p.drawRect(13, 4, 6, 8);
    const QPoint head[] = {QPoint(9, 12), QPoint(23, 12), QPoint(16, 20)};
    p.drawPolygon(head, 3);
    p.setBrush(lime);
    p.drawRect(14, 5, 4, 7);
    p.end();
    return image.convertToFormat(QImage::Format_Indexed8, palette16(), Qt::ThresholdDither);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (int size : {32, 16}) {
        const QString path = QStringLiteral("%1/korvane-%2.png").arg(dir).arg(size);
        if (!draw(size).save(path, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
