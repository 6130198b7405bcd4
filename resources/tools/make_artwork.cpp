// Draws all of Geodot's artwork: the five compass faces, the toolbar icons, the two button
// glyphs and the application icon. Everything is drawn from code so that the pictures can be
// regenerated and changed in one place; the output depends only on this file and the fonts.
//
// Usage: make_artwork <resources-folder>
// Writes <folder>/compass/11.png … 15.png and <folder>/icons/*.png.

#include <QDir>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// ---------------------------------------------------------------------------------------------
// Palette

// Compass faces: light and calm, the program draws a red direction line over them.
const QColor kCornerGrey(0xd6, 0xd9, 0xdc);
const QColor kCornerLilac(0xde, 0xd3, 0xef);
const QColor kRingBlue(0xbf, 0xe0, 0xf5);
const QColor kDiscEdge(0x7d, 0x90, 0xa3);
const QColor kFaceInk(0x2f, 0x4b, 0x68);      // letters and tick marks
const QColor kCrossLine(0x9f, 0xb3, 0xc6);
const QColor kRoseBlue(0xa9, 0xd3, 0xf1);
const QColor kRoseOrange(0xf8, 0xc9, 0x93);
const QColor kRoseEdge(0x8a, 0x9b, 0xb0);
const QColor kStarFill(0xf2, 0xb8, 0x4b);
const QColor kStarEdge(0xb0, 0x7c, 0x26);

// Icons: a few saturated flat colours shared by all of them.
const QColor kBlue(0x2f, 0x7f, 0xd8);
const QColor kBlueLight(0xdc, 0xe9, 0xf7);
const QColor kAmber(0xe8, 0xa3, 0x1e);
const QColor kAmberLight(0xf7, 0xc9, 0x4c);
const QColor kSlate(0x54, 0x6e, 0x7a);
const QColor kGreen(0x2e, 0x9e, 0x4f);
const QColor kRed(0xd9, 0x44, 0x3a);
const QColor kWhite(0xff, 0xff, 0xff);

// One stroke width for the line-drawn parts of the 32 px icons, a slightly heavier one for the
// 24 px glyphs, which sit next to button text.
constexpr double kIconStroke = 2.5;
constexpr double kGlyphStroke = 3.0;

// ---------------------------------------------------------------------------------------------
// Helpers

int g_failures = 0;

QFont requireFont(const QString &family, int pixelSize, QFont::Weight weight)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QFontInfo info(font);
    if (info.family() != family) {
        std::fprintf(stderr, "make_artwork: font \"%s\" not found (got \"%s\")\n",
                     qPrintable(family), qPrintable(info.family()));
        std::exit(1);
    }
    return font;
}

QFont latinFont(int pixelSize) { return requireFont(QStringLiteral("DejaVu Sans"), pixelSize, QFont::Bold); }
QFont japaneseFont(int pixelSize) { return requireFont(QStringLiteral("Noto Sans CJK JP"), pixelSize, QFont::Bold); }

// Fills `text` so that the centre of its outline lies on `centre`. The outline is measured,
// not the font metrics, so letters sit optically centred on their spot of the ring.
void drawCentredText(QPainter &p, const QString &text, const QFont &font, QPointF centre,
                     const QColor &colour)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    path.translate(centre - path.boundingRect().center());
    p.fillPath(path, colour);
}

QImage newCanvas(int w, int h, const QColor &background)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    return img;
}

void save(const QImage &img, const QString &path)
{
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "make_artwork: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

// ---------------------------------------------------------------------------------------------
// Compass faces
//
// 150 × 150, the centre of the compass is the centre of the image (75, 75), north at the top.
// Angles are compass bearings: degrees clockwise from north.

constexpr int kFaceSize = 150;
const QPointF kCentre(kFaceSize / 2.0, kFaceSize / 2.0);
constexpr double kDiscRadius = 72.5;  // outline centred here; with its pen it ends at 73.25

QPointF polar(double bearing, double radius)
{
    const double a = qDegreesToRadians(bearing);
    return kCentre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

void drawCircle(QPainter &p, double radius, const QColor &fill, const QColor &edge, double edgeWidth)
{
    p.setPen(edgeWidth > 0 ? QPen(edge, edgeWidth) : QPen(Qt::NoPen));
    p.setBrush(fill);
    p.drawEllipse(kCentre, radius, radius);
}

void drawRingBand(QPainter &p, double inner, double outer, const QColor &fill)
{
    QPainterPath band;
    band.addEllipse(kCentre, outer, outer);
    band.addEllipse(kCentre, inner, inner);  // odd-even fill leaves the hole
    p.fillPath(band, fill);
}

// Tick marks every 30°, skipping the four cardinal points where the letters stand.
void drawTicks(QPainter &p, double inner, double outer, double width)
{
    QPen pen(kFaceInk, width);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    for (int bearing = 0; bearing < 360; bearing += 30) {
        if (bearing % 90 == 0)
            continue;
        p.drawLine(polar(bearing, inner), polar(bearing, outer));
    }
}

// Thin N–S and E–W lines through the centre.
void drawCross(QPainter &p, double reach)
{
    QPen pen(kCrossLine, 1.2);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(polar(0, reach), polar(180, reach));
    p.drawLine(polar(90, reach), polar(270, reach));
}

void drawCardinals(QPainter &p, const QString (&names)[4], const QFont &font, double radius)
{
    for (int i = 0; i < 4; ++i)
        drawCentredText(p, names[i], font, polar(i * 90.0, radius), kFaceInk);
}

// Five-pointed star, one point to the north.
void drawCentreStar(QPainter &p)
{
    constexpr double outer = 7.5;
    constexpr double inner = 3.1;
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const QPointF pt = polar(i * 36.0, i % 2 == 0 ? outer : inner);
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(kStarEdge, 0.8));
    p.setBrush(kStarFill);
    p.drawPath(star);
}

// Runs `draw` on a face whose corners (outside the circle) are `corners`. The faces are
// stored without alpha.
QImage drawFace(const QColor &corners, const std::function<void(QPainter &)> &draw)
{
    QImage img = newCanvas(kFaceSize, kFaceSize, corners);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return img.convertToFormat(QImage::Format_RGB888);
}

const QString kLatinNames[4] = {QStringLiteral("N"), QStringLiteral("E"), QStringLiteral("S"),
                                QStringLiteral("W")};
const QString kJapaneseNames[4] = {QStringLiteral("北"), QStringLiteral("東"), QStringLiteral("南"),
                                   QStringLiteral("西")};

// Light-blue lettered ring around a white disc with a cross.
void paintFace11(QPainter &p)
{
    constexpr double ringInner = 55.0;
    drawCircle(p, kDiscRadius, kRingBlue, kDiscEdge, 1.5);
    drawCircle(p, ringInner, kWhite, kDiscEdge, 1.0);
    drawCross(p, ringInner - 0.5);
    const double ringMiddle = (ringInner + kDiscRadius) / 2.0;
    drawTicks(p, ringMiddle - 5.0, ringMiddle + 5.0, 2.0);
    drawCardinals(p, kLatinNames, latinFont(15), ringMiddle);
}

// Four-pointed rose; each point is split along its axis into a blue and an orange half.
void paintFace12(QPainter &p)
{
    drawCircle(p, kDiscRadius, kWhite, kDiscEdge, 1.5);
    p.setPen(QPen(kCornerLilac, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(kCentre, 67.0, 67.0);

    constexpr double tip = 63.0;
    constexpr double waist = 16.5;  // distance of the side corners from the centre
    QPen edge(kRoseEdge, 1.0);
    edge.setJoinStyle(Qt::MiterJoin);
    p.setPen(edge);
    for (int i = 0; i < 4; ++i) {
        const double bearing = i * 90.0;
        QPolygonF clockwiseHalf{kCentre, polar(bearing, tip), polar(bearing + 45.0, waist)};
        QPolygonF otherHalf{kCentre, polar(bearing, tip), polar(bearing - 45.0, waist)};
        p.setBrush(kRoseBlue);
        p.drawPolygon(clockwiseHalf);
        p.setBrush(kRoseOrange);
        p.drawPolygon(otherHalf);
    }
}

// White disc with cardinal names, ticks, a cross and a star in the middle; optionally a
// light-blue inner ring.
void paintPlainFace(QPainter &p, const QString (&names)[4], const QFont &font, double nameRadius,
                    bool innerRing)
{
    drawCircle(p, kDiscRadius, kWhite, kDiscEdge, 1.5);
    if (innerRing)
        drawRingBand(p, 36.0, 44.0, kRingBlue);
    drawCross(p, nameRadius - 11.0);
    drawTicks(p, 62.0, 71.5, 2.0);
    drawCardinals(p, names, font, nameRadius);
    drawCentreStar(p);
}

// ---------------------------------------------------------------------------------------------
// Icons and glyphs

QImage drawIcon(int size, const std::function<void(QPainter &)> &draw)
{
    QImage img = newCanvas(size, size, Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

QPen roundPen(const QColor &colour, double width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Cuts a transparent margin around `shape`, so that a symbol laid over another one stays
// readable (the usual badge look of flat icons).
void clearAround(QPainter &p, const QPainterPath &shape, double margin)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(roundPen(Qt::black, 2.0 * margin));
    p.setBrush(Qt::black);
    p.drawPath(shape);
    p.restore();
}

// Open folder: the back with its tab, a lighter front flap tilted forward.
void paintOpen(QPainter &p)
{
    QPainterPath back;
    back.moveTo(3, 8);
    back.quadTo(3, 6, 5, 6);
    back.lineTo(11.5, 6);
    back.lineTo(14, 9);
    back.lineTo(25, 9);
    back.quadTo(27, 9, 27, 11);
    back.lineTo(27, 26);
    back.lineTo(3, 26);
    back.closeSubpath();
    p.fillPath(back, kAmber);

    QPainterPath front;
    front.moveTo(8, 14);
    front.lineTo(30, 14);
    front.quadTo(31, 14, 30.6, 15.2);
    front.lineTo(27, 26);
    front.lineTo(3, 26);
    front.lineTo(6.6, 15.2);
    front.quadTo(7, 14, 8, 14);
    front.closeSubpath();
    p.fillPath(front, kAmberLight);
}

// Clockwise circular arrow with its head in the gap at the upper right.
void paintReload(QPainter &p)
{
    const QPointF c(16, 16);
    constexpr double r = 10.0;
    constexpr double start = 30.0;   // Qt angles: counter-clockwise from three o'clock
    constexpr double sweep = -300.0; // clockwise, ends at twelve o'clock
    QPainterPath arc;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    arc.arcMoveTo(box, start);
    arc.arcTo(box, start, sweep);
    p.setPen(roundPen(kBlue, kIconStroke));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);

    // Head at the end of the arc, pointing along the clockwise tangent.
    const double end = qDegreesToRadians(start + sweep);
    const QPointF outward(std::cos(end), -std::sin(end));
    const QPointF along(std::sin(end), std::cos(end));
    const QPointF e = c + r * outward;
    QPolygonF head{e + 5.5 * along, e - 1.0 * along + 4.5 * outward, e - 1.0 * along - 4.5 * outward};
    p.setPen(roundPen(kBlue, 1.0));
    p.setBrush(kBlue);
    p.drawPolygon(head);
}

// Floppy disk: blue body with a cut corner, metal shutter at the top, white label below.
void paintDisk(QPainter &p)
{
    QPainterPath body;
    body.moveTo(6, 4);
    body.lineTo(23, 4);
    body.lineTo(28, 9);
    body.lineTo(28, 26);
    body.quadTo(28, 28, 26, 28);
    body.lineTo(6, 28);
    body.quadTo(4, 28, 4, 26);
    body.lineTo(4, 6);
    body.quadTo(4, 4, 6, 4);
    body.closeSubpath();
    p.fillPath(body, kBlue);

    p.setPen(Qt::NoPen);
    p.setBrush(kBlueLight);
    p.drawRoundedRect(QRectF(9, 4, 13, 8), 1, 1);
    p.setBrush(kBlue);
    p.drawRect(QRectF(17, 5.5, 2.5, 5));
    p.setBrush(kWhite);
    p.drawRoundedRect(QRectF(8, 16, 16, 12), 1.5, 1.5);
    p.setBrush(kBlueLight);
    p.drawRect(QRectF(10.5, 19.5, 11, 1.5));
    p.drawRect(QRectF(10.5, 23, 11, 1.5));
}

void paintSave(QPainter &p) { paintDisk(p); }

// The disk, slightly smaller, with a pencil across its lower right corner.
void paintSaveAs(QPainter &p)
{
    p.save();
    p.translate(-1.5, -1.5);
    p.scale(0.84, 0.84);
    paintDisk(p);
    p.restore();

    // Pencil drawn along its own x axis, tip at the origin, then laid at 45°.
    p.save();
    p.translate(16, 29);
    p.rotate(-45);
    constexpr double len = 19.0, half = 3.0, cone = 5.5;
    QPainterPath outline;
    outline.moveTo(0, 0);
    outline.lineTo(cone, -half);
    outline.lineTo(len, -half);
    outline.lineTo(len, half);
    outline.lineTo(cone, half);
    outline.closeSubpath();
    clearAround(p, outline, 1.6);

    p.setPen(Qt::NoPen);
    p.setBrush(kAmberLight);
    p.drawPolygon(QPolygonF{{0, 0}, {cone, -half}, {cone, half}});
    p.setBrush(kSlate);
    p.drawPolygon(QPolygonF{{0, 0}, {2.2, -1.2}, {2.2, 1.2}});
    p.setBrush(kAmber);
    p.drawRect(QRectF(cone, -half, len - cone - 3.5, 2 * half));
    p.setBrush(kRed);
    p.drawRect(QRectF(len - 3.0, -half, 3.0, 2 * half));
    p.restore();
}

// Door with an arrow leading out of it to the right.
void paintExit(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    p.drawRoundedRect(QRectF(4, 3, 14, 26), 2, 2);
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(14.5, 22), 1.4, 1.4);  // knob, below the arrow

    QPainterPath arrow;
    arrow.moveTo(10, 16);
    arrow.lineTo(27, 16);
    arrow.moveTo(22, 11);
    arrow.lineTo(27, 16);
    arrow.lineTo(22, 21);
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(roundPen(Qt::black, kIconStroke + 3.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    p.restore();
    p.setPen(roundPen(kRed, kIconStroke));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
}

// Button glyphs.
void paintUpdate(QPainter &p)
{
    p.setPen(roundPen(kGreen, kGlyphStroke));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{4.5, 12.5}, {9.5, 17.5}, {19.5, 6.5}});
}

void paintErase(QPainter &p)
{
    p.setPen(roundPen(kRed, kGlyphStroke));
    p.drawLine(QPointF(6, 6), QPointF(18, 18));
    p.drawLine(QPointF(18, 6), QPointF(6, 18));
}

// Teardrop map pin: a circle of `radius` around `head` drawn to a point at `tip`.
QPainterPath pinPath(QPointF head, double radius, QPointF tip)
{
    const double h = tip.y() - head.y();
    const double phi = qRadiansToDegrees(std::acos(radius / h));
    const QRectF box(head.x() - radius, head.y() - radius, 2 * radius, 2 * radius);
    QPainterPath pin;
    pin.moveTo(tip);
    pin.arcTo(box, -90.0 + phi, 360.0 - 2.0 * phi);
    pin.closeSubpath();
    return pin;
}

// Application icon: a red map pin over a landscape photograph in a white frame.
void paintAppIcon(QPainter &p)
{
    // Frame with a soft shadow.
    const QRectF frame(12, 68, 190, 150);
    for (int i = 0; i < 4; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 14));
        p.drawRoundedRect(frame.adjusted(-i + 2, -i + 5, i + 2, i + 5), 10 + i, 10 + i);
    }
    p.setPen(QPen(QColor(0xc4, 0xce, 0xd8), 2.0));
    p.setBrush(kWhite);
    p.drawRoundedRect(frame, 10, 10);

    // Photograph: sky, sun and two hills.
    const QRectF photo = frame.adjusted(12, 12, -12, -12);
    QPainterPath photoClip;
    photoClip.addRoundedRect(photo, 3, 3);
    p.save();
    p.setClipPath(photoClip);
    QLinearGradient sky(photo.topLeft(), photo.bottomLeft());
    sky.setColorAt(0.0, QColor(0x7c, 0xc4, 0xf2));
    sky.setColorAt(1.0, QColor(0xd9, 0xef, 0xfc));
    p.fillRect(photo, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x4a));
    p.drawEllipse(QPointF(photo.left() + 34, photo.top() + 30), 15, 15);

    QPainterPath farHill;
    farHill.moveTo(photo.left(), photo.bottom() - 40);
    farHill.cubicTo(photo.left() + 50, photo.bottom() - 90, photo.left() + 100, photo.bottom() - 80,
                    photo.right(), photo.bottom() - 35);
    farHill.lineTo(photo.bottomRight());
    farHill.lineTo(photo.bottomLeft());
    farHill.closeSubpath();
    p.fillPath(farHill, QColor(0x86, 0xc9, 0x7e));

    QPainterPath nearHill;
    nearHill.moveTo(photo.left(), photo.bottom() - 12);
    nearHill.cubicTo(photo.left() + 60, photo.bottom() - 50, photo.left() + 120, photo.bottom() - 10,
                     photo.right(), photo.bottom() - 30);
    nearHill.lineTo(photo.bottomRight());
    nearHill.lineTo(photo.bottomLeft());
    nearHill.closeSubpath();
    p.fillPath(nearHill, QColor(0x4c, 0xa4, 0x5c));
    p.restore();

    // Pin, standing on the photograph, separated from it by a transparent margin.
    const QPointF head(184, 84);
    const QPointF tip(184, 196);
    constexpr double radius = 52.0;
    const QPainterPath pin = pinPath(head, radius, tip);
    clearAround(p, pin, 5.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawEllipse(tip + QPointF(0, 2), 16, 4.5);
    p.fillPath(pin, kRed);
    // Darker right half gives the pin some body without leaving the flat style.
    p.save();
    p.setClipRect(QRectF(head.x(), 0, 256, 256));
    p.fillPath(pin, QColor(0xbf, 0x36, 0x2d));
    p.restore();
    p.setBrush(kWhite);
    p.drawEllipse(head, 20, 20);
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <resources-folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("compass")) || !out.mkpath(QStringLiteral("icons"))) {
        std::fprintf(stderr, "make_artwork: cannot create folders in %s\n", argv[1]);
        return 1;
    }
    const auto compass = [&](const char *name) { return out.filePath(QStringLiteral("compass/") + QLatin1String(name)); };
    const auto icon = [&](const char *name) { return out.filePath(QStringLiteral("icons/") + QLatin1String(name)); };

    const QFont latin = latinFont(16);
    const QFont japanese = japaneseFont(16);
    save(drawFace(kCornerGrey, paintFace11), compass("11.png"));
    save(drawFace(kCornerLilac, paintFace12), compass("12.png"));
    save(drawFace(kCornerGrey, [&](QPainter &p) { paintPlainFace(p, kLatinNames, latin, 60.0, false); }),
         compass("13.png"));
    save(drawFace(kCornerGrey, [&](QPainter &p) { paintPlainFace(p, kJapaneseNames, japanese, 60.0, false); }),
         compass("14.png"));
    save(drawFace(kCornerGrey, [&](QPainter &p) { paintPlainFace(p, kJapaneseNames, japanese, 60.0, true); }),
         compass("15.png"));

    save(drawIcon(32, paintOpen), icon("open.png"));
    save(drawIcon(32, paintReload), icon("reload.png"));
    save(drawIcon(32, paintSave), icon("save.png"));
    save(drawIcon(32, paintSaveAs), icon("save-as.png"));
    save(drawIcon(32, paintExit), icon("exit.png"));
    save(drawIcon(24, paintUpdate), icon("update.png"));
    save(drawIcon(24, paintErase), icon("erase.png"));
    const QImage appIcon = drawIcon(256, paintAppIcon);
    save(appIcon, icon("geodot.png"));
    // The sizes of the desktop's icon theme, scaled down from the full drawing.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("icons/hicolor/%1x%1").arg(size);
        out.mkpath(folder);
        save(appIcon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation),
             out.filePath(folder + QStringLiteral("/geodot.png")));
    }

    return g_failures == 0 ? 0 : 1;
}
