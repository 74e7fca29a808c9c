// Draws the program's icon (resource 128) and the main window's picture
// (resource 169) into mirelle.png and banner.png in the current folder, and
// the icon once more at each size of the desktop's icon theme into
// hicolor/<size>x<size>/apps/mirelle.png (drawn at that size, not scaled, so
// small icons stay sharp).
// Run it again after a change of the design:
//   g++ -std=c++20 -fPIC render_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/render_icons
//   QT_QPA_PLATFORM=offscreen /tmp/render_icons
#include <QtCore/QDir>
#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>

namespace {

// A chip seen from above: a dark body with pins on two sides, a pin-1 mark
// and a green arrow going into it (the flash being written).
void DrawChip(QPainter& p, QRectF r, bool arrow) {
    const qreal pin = r.width() * 0.06;
    const QRectF body = r.adjusted(r.width() * 0.18, r.height() * 0.1, -r.width() * 0.18, -r.height() * 0.1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC8, 0xCC, 0xD2));
    const int pins = 5;
    for (int i = 0; i < pins; ++i) {
        qreal y = body.top() + body.height() * (i + 0.5) / pins - pin / 2;
        p.drawRoundedRect(QRectF(r.left() + r.width() * 0.06, y, body.left() - r.left() - r.width() * 0.06 + 1, pin),
                          pin * 0.2, pin * 0.2);
        p.drawRoundedRect(QRectF(body.right() - 1, y, r.right() - r.width() * 0.06 - body.right() + 1, pin),
                          pin * 0.2, pin * 0.2);
    }
    QLinearGradient g(body.topLeft(), body.bottomRight());
    g.setColorAt(0, QColor(0x3A, 0x40, 0x48));
    g.setColorAt(1, QColor(0x1C, 0x20, 0x26));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x10, 0x12, 0x16), r.width() * 0.012));
    p.drawRoundedRect(body, r.width() * 0.03, r.width() * 0.03);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8A, 0x92, 0x9C));
    const qreal dot = body.width() * 0.12;
    p.drawEllipse(QRectF(body.left() + dot * 0.6, body.top() + dot * 0.6, dot, dot));
    if (!arrow) return;
    // The arrow: a shaft and a head pointing down into the chip.
    const qreal cx = body.center().x();
    const qreal w = body.width() * 0.22;
    QPainterPath a;
    a.moveTo(cx - w / 2, body.top() + body.height() * 0.2);
    a.lineTo(cx + w / 2, body.top() + body.height() * 0.2);
    a.lineTo(cx + w / 2, body.top() + body.height() * 0.52);
    a.lineTo(cx + w * 1.15, body.top() + body.height() * 0.52);
    a.lineTo(cx, body.top() + body.height() * 0.82);
    a.lineTo(cx - w * 1.15, body.top() + body.height() * 0.52);
    a.lineTo(cx - w / 2, body.top() + body.height() * 0.52);
    a.closeSubpath();
    p.setBrush(QColor(0x3F, 0xD0, 0x6A));
    p.drawPath(a);
}

void Icon(int size, const char* file) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, size, size);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, QColor(0x1E, 0x5A, 0x9C));
    g.setColorAt(1, QColor(0x10, 0x33, 0x5E));
    p.setPen(QPen(QColor(0x0A, 0x22, 0x40), size / 48.0));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(size * 0.03, size * 0.03, -size * 0.03, -size * 0.03), size * 0.16, size * 0.16);
    DrawChip(p, r.adjusted(size * 0.12, size * 0.12, -size * 0.12, -size * 0.12), true);
    img.save(file);
}

void Banner(int w, int h, const char* file) {
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(0x14, 0x3D, 0x6B));
    g.setColorAt(1, QColor(0x0B, 0x1F, 0x38));
    p.fillRect(img.rect(), g);
    // Faint board traces behind the text.
    p.setPen(QPen(QColor(255, 255, 255, 26), h / 40.0));
    for (int i = 0; i < 6; ++i) {
        qreal y = h * (0.15 + i * 0.14);
        QPainterPath t;
        t.moveTo(w * 0.30, y);
        t.lineTo(w * (0.62 + 0.04 * i), y);
        t.lineTo(w * (0.68 + 0.04 * i), y - h * 0.08);
        t.lineTo(w, y - h * 0.08);
        p.drawPath(t);
    }
    DrawChip(p, QRectF(h * 0.12, h * 0.1, h * 0.8, h * 0.8), true);
    QFont title("DejaVu Sans");
    title.setBold(true);
    title.setPixelSize(static_cast<int>(h * 0.36));
    p.setFont(title);
    p.setPen(QColor(0xF2, 0xF5, 0xF8));
    p.drawText(QRectF(h * 1.08, h * 0.08, w, h * 0.5), Qt::AlignLeft | Qt::AlignBottom, "Mirelle");
    QFont sub("DejaVu Sans");
    sub.setPixelSize(static_cast<int>(h * 0.17));
    p.setFont(sub);
    p.setPen(QColor(0x9F, 0xC4, 0xE8));
    p.drawText(QRectF(h * 1.1, h * 0.6, w, h * 0.3), Qt::AlignLeft | Qt::AlignTop, "FLASH PROGRAMMER  \u00B7  SERIAL BOOT");
    p.setPen(QPen(QColor(0x3F, 0xD0, 0x6A), h / 50.0));
    p.drawLine(QPointF(h * 1.1, h * 0.58), QPointF(w * 0.93, h * 0.58));
    img.save(file);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    Icon(256, "mirelle.png");
    Banner(624, 132, "banner.png");
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QString("hicolor/%1x%1/apps").arg(size);
        QDir().mkpath(dir);
        Icon(size, (dir + "/mirelle.png").toUtf8().constData());
    }
    return 0;
}
