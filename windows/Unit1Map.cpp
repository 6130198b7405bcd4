// The map: a web page at an address built from a template, and the position taken back from
// the address of the page shown.

#include "Unit1.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cmath>

#include "FieldValues.h"
#include "NumberText.h"

using namespace ExifDetails;

namespace {

} // namespace

QString FormatStr(const QString& FMTSTR, const QStringList& ParamArray) {
    QString result = FMTSTR;
    result.replace(QStringLiteral("%%"), QStringLiteral("\t"));
    for (qsizetype i = 0; i < ParamArray.size(); ++i) {
        const QString token = u'%' + QString::number(i + 1);
        const qsizetype at = result.indexOf(token);
        if (at >= 0)
            result.replace(at, token.size(), ParamArray[i]);
    }
    result.replace(u'\t', u'%');
    return result;
}

void TForm1::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, &TForm1::createBrowser);
    }
}

void TForm1::createBrowser() {
    if (WebBrowser1 || destroyed_)
        return;
    // Map services ask applications to name themselves.
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    if (!profile->httpUserAgent().contains(QStringLiteral(" geodot/")))
        profile->setHttpUserAgent(profile->httpUserAgent() + QStringLiteral(" geodot/") + Version);
    WebBrowser1 = new QWebEngineView(ShapeBrowser);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    ShapeBrowser->layout()->addWidget(WebBrowser1);
    // A map that cannot be reached is said so in the window's own words, in place of the
    // browser (which keeps the address, so a pick-up still reads it).
    connect(WebBrowser1, &QWebEngineView::loadStarted, this, [this] {
        LabelMapUnavailable->hide();
        WebBrowser1->show();
    });
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (ok)
            return;
        WebBrowser1->hide();
        LabelMapUnavailable->show();
    });
    if (!mapAddress_.isEmpty())
        showMapPage(QUrl(mapAddress_));
}

void TForm1::showMapPage(const QUrl& address) {
    if (WebBrowser1)
        WebBrowser1->setUrl(address);
}

void TForm1::DisplayMap(int Zoom, int NS, int EW, double Lat1, double Lat2, double Lat3,
                        double Lon1, double Lon2, double Lon3) {
    const double Latitude = Lat1 + Lat2 / 60 + Lat3 / 3600;
    const double Longitude = Lon1 + Lon2 / 60 + Lon3 / 3600;
    const QString GPS_Data1 = numberText(Latitude * NS);
    const QString GPS_Data2 = numberText(Longitude * EW);
    const QString URLStr = FormatStr(OSM, {GPS_Data1, GPS_Data2, QString::number(Zoom)});
    LabelURL->setText(URLStr);
    mapAddress_ = URLStr;
    // What the browser makes of the address is its own affair; the fields go on working.
    showMapPage(QUrl(URLStr));
}

void TForm1::ButtonFindPlaceClick() {
    const int NS = signOf(ComboBoxLatitude);
    const int EW = signOf(ComboBoxLongitude);
    const double lat1 = numberIn(EditLat1), lat2 = numberIn(EditLat2), lat3 = numberIn(EditLat3);
    const double lon1 = numberIn(EditLon1), lon2 = numberIn(EditLon2), lon3 = numberIn(EditLon3);
    DisplayMap(15, NS, EW, lat1, lat2, lat3, lon1, lon2, lon3);
}

void TForm1::ButtonGetPosClick() {
    const QString address = WebBrowser1 ? WebBrowser1->url().toString() : QString();
    if (address.isEmpty()) {
        ButtonResetLatLonClick();
        return;
    }
    LabelURL->setText(address);
    const qsizetype map = address.indexOf(QStringLiteral("map="));
    const QString position = map < 0 ? QString() : address.mid(map + 4);
    const qsizetype slash1 = position.indexOf(u'/');
    const QString zoomText = slash1 < 0 ? position : position.left(slash1);
    const QString rest = slash1 < 0 ? QString() : position.mid(slash1 + 1);
    const qsizetype slash2 = rest.indexOf(u'/');
    const QString latText = slash2 < 0 ? rest : rest.left(slash2);
    const QString lonText = slash2 < 0 ? QString() : rest.mid(slash2 + 1);

    // Degrees, minutes and seconds of a signed decimal angle; the seconds are not rounded.
    struct Angle {
        int sign;
        double degrees, minutes, seconds;
    };
    auto split = [](double value) {
        double n = std::abs(value);
        Angle a{value >= 0 ? 1 : -1, std::trunc(n), 0, 0};
        n = (n - a.degrees) * 60;
        a.minutes = std::trunc(n);
        a.seconds = (n - a.minutes) * 60;
        return a;
    };
    const Angle lat = split(numberIn(latText));
    ComboBoxLatitude->setCurrentIndex(lat.sign > 0 ? 0 : 1);
    const Angle lon = split(numberIn(lonText));
    ComboBoxLongitude->setCurrentIndex(lon.sign > 0 ? 0 : 1);
    EditLat1->setText(numberText(lat.degrees));
    EditLat2->setText(numberText(lat.minutes));
    EditLat3->setText(numberText(lat.seconds));
    EditLon1->setText(numberText(lon.degrees));
    EditLon2->setText(numberText(lon.minutes));
    EditLon3->setText(numberText(lon.seconds));
    ZoomRatio = std::uint16_t(NumberText::ParseInt32(zoomText.toStdU16String()));
    DisplayMap(ZoomRatio, lat.sign, lon.sign, lat.degrees, lat.minutes, lat.seconds,
               lon.degrees, lon.minutes, lon.seconds);
}
