// The compass: a face picture with an arrow layer over it. A left click sets the direction the
// picture was taken (0 = north, clockwise) and draws a red line of fixed length towards the
// click; a double click, while the direction is off, changes the face.

#include "Unit1.h"

#include <QCheckBox>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <stdexcept>

#include "CompassImage.h"

namespace {

constexpr int kFirstFace = 11, kLastFace = 15;

// Nearest integer, halves to the even neighbour.
int roundEven(double x) {
    return int(std::nearbyint(x));
}

} // namespace

void TForm1::SetCompassBG(std::uint8_t number) {
    QImage face(QStringLiteral(":/compass/%1.png").arg(number));
    if (face.isNull())
        throw std::runtime_error("Compass face " + std::to_string(number) + " not found");
    ImageCompass->setPixmap(QPixmap::fromImage(face.convertToFormat(QImage::Format_RGB888)));
}

void TForm1::clearArrow() {
    if (arrowLayer_.size() != ImageArrow->size())
        arrowLayer_ = QImage(ImageArrow->size(), QImage::Format_RGB32);
    arrowLayer_.fill(Qt::white);
    drawArrowTo({CenterX, CenterY});
}

void TForm1::drawArrowTo(QPoint end) {
    arrowLayer_.fill(Qt::white);
    if (end != QPoint(CenterX, CenterY)) {
        QPainter painter(&arrowLayer_);
        painter.setPen(QPen(QColor(255, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPoint(CenterX, CenterY), end);
    }
    QPixmap layer = QPixmap::fromImage(arrowLayer_);
    layer.setMask(layer.createMaskFromColor(Qt::white));
    ImageArrow->setPixmap(layer);
}

void TForm1::SetArrow(float angle) {
    float DEGangle = angle - 90;
    if (DEGangle < 0)
        DEGangle += 360;
    const float RADangle = float(DEGangle * 0.017453292519943295);
    const int LenX = std::abs(roundEven(std::cos(double(RADangle)) * arrow));
    const int LenY = std::abs(roundEven(std::sin(double(RADangle)) * arrow));
    // Quadrants by the angle itself; screen y grows downwards.
    QPoint end;
    if (angle < 90)
        end = {CenterX + LenX, CenterY - LenY};
    else if (angle < 180)
        end = {CenterX + LenX, CenterY + LenY};
    else if (angle < 270)
        end = {CenterX - LenX, CenterY + LenY};
    else
        end = {CenterX - LenX, CenterY - LenY};
    drawArrowTo(end);
}

void TForm1::ImageCompassMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                 int Y) {
    Q_UNUSED(Shift);
    if (Button != Qt::LeftButton || !CB_Compass->isChecked())
        return;
    const double LenX = X - CenterX, LenY = Y - CenterY;
    float angle = 0;
    QPoint end(CenterX, CenterY);
    if (LenX != 0 || LenY != 0) {
        float a = LenX == 0 ? float(M_PI / 2) : float(std::atan(std::abs(LenY) / std::abs(LenX)));
        const int posX = roundEven(std::cos(double(a)) * arrow);
        const int posY = roundEven(std::sin(double(a)) * arrow);
        a = float(a * 57.29577951308232);
        if (LenX >= 0 && LenY <= 0) {
            angle = 90 - a;
            end = {CenterX + posX, CenterY - posY};
        } else if (LenX >= 0 && LenY >= 0) {
            angle = a + 90;
            end = {CenterX + posX, CenterY + posY};
        } else if (LenX <= 0 && LenY >= 0) {
            angle = 270 - a;
            end = {CenterX - posX, CenterY + posY};
        } else {
            angle = a + 270;
            end = {CenterX - posX, CenterY - posY};
        }
    }
    ExifDetails::NewTag10 = 1;
    ExifDetails::NewTag11 = roundEven(double(angle) * 100) / 100.0;
    drawArrowTo(end);
    showDirectionOnMap();
}

void TForm1::CB_CompassClick() {
    if (CB_Compass->isChecked()) {
        ExifDetails::NewTag10 = 1; // the next click on the compass draws the arrow
    } else {
        ExifDetails::NewTag10 = 0;
        clearArrow();
    }
    showDirectionOnMap();
}

void TForm1::ImageArrowDblClick() {
    if (CB_Compass->isChecked())
        return;
    // A number from an edited settings file that names no face starts the cycle again.
    CNo = CNo >= kFirstFace && CNo < kLastFace ? CNo + 1 : kFirstFace;
    SetCompassBG(CNo);
}
