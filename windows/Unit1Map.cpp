// The map: a web page at an address built from a template, and the position taken back from
// the address of the page shown. The built-in page (geodot://map/) also takes a click as the
// position and shows the direction.

#include "Unit1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QQuickWidget>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cmath>
#include <utility>

#include "FieldValues.h"
#include "GeodotApplication.h"
#include "MapPage.h"
#include "NumberText.h"

using namespace ExifDetails;

namespace {

// Degrees, minutes and seconds of a signed decimal angle; the seconds are not rounded.
struct Angle {
    int sign;
    double degrees, minutes, seconds;
};

Angle splitAngle(double value) {
    double n = std::abs(value);
    Angle a{value >= 0 ? 1 : -1, std::trunc(n), 0, 0};
    n = (n - a.degrees) * 60;
    a.minutes = std::trunc(n);
    a.seconds = (n - a.minutes) * 60;
    return a;
}

// Puts a position in signed decimal degrees into the fields, the hemisphere lists included.
std::pair<Angle, Angle> fillPosition(TForm1& form, double latitude, double longitude) {
    const Angle lat = splitAngle(latitude), lon = splitAngle(longitude);
    form.ComboBoxLatitude->setCurrentIndex(lat.sign > 0 ? 0 : 1);
    form.ComboBoxLongitude->setCurrentIndex(lon.sign > 0 ? 0 : 1);
    form.EditLat1->setText(numberText(lat.degrees));
    form.EditLat2->setText(numberText(lat.minutes));
    form.EditLat3->setText(numberText(lat.seconds));
    form.EditLon1->setText(numberText(lon.degrees));
    form.EditLon2->setText(numberText(lon.minutes));
    form.EditLon3->setText(numberText(lon.seconds));
    return {lat, lon};
}

// Where the tiles are kept between runs.
QString tileCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/NORVANE/" GEODOT_NAME);
}

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

void TForm1::prepareMapSurface() {
    // The browser draws through OpenGL, and a shown window that gains such a child is made
    // anew: it flashes and gets another window id. A hidden widget of that kind, there before
    // the window is first shown, makes the window an OpenGL one from the start.
    (new QQuickWidget(ShapeBrowser))->hide();
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
    // A profile of the window's own, kept in memory: the built-in page's scheme is answered
    // here, and web map pages learn which program asks, as map services want.
    auto* profile = new QWebEngineProfile(this);
    profile->setHttpUserAgent(profile->httpUserAgent() + QStringLiteral(" geodot/") + Version);
    mapScheme_ = new MapSchemeHandler(tileCacheFolder(), this);
    profile->installUrlSchemeHandler(kMapScheme, mapScheme_);

    WebBrowser1 = new QWebEngineView(ShapeBrowser);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    auto* page = new QWebEnginePage(profile, WebBrowser1);
    auto* channel = new QWebChannel(page);
    auto* bridge = new MapBridge(channel);
    channel->registerObject(QStringLiteral("map"), bridge);
    page->setWebChannel(channel);
    WebBrowser1->setPage(page);
    WebBrowser1->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    ShapeBrowser->layout()->addWidget(WebBrowser1);
    connect(bridge, &MapBridge::picked, this,
            Guarded([this](double lat, double lon) { fillPosition(*this, lat, lon); }));
    // The page's own pop-up menu, not the browser's.
    WebBrowser1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(WebBrowser1, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { PMGPS->popup(WebBrowser1->mapToGlobal(at)); });
    // A map that cannot be reached is said so in the window's own words, in place of the
    // browser; no position is picked up from it.
    connect(WebBrowser1, &QWebEngineView::loadStarted, this, [this] {
        mapLoadFailed_ = false;
        mapLoaded_ = false;
        LabelMapUnavailable->hide();
        WebBrowser1->show();
    });
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, [this](bool ok) {
        mapLoadFailed_ = !ok;
        mapLoaded_ = ok;
        if (ok) {
            showDirectionOnMap();
            showTrackOnMap();
            if (std::exchange(fitTrackOnLoad_, false))
                callMapPage("fitTrack", {});
            return;
        }
        WebBrowser1->hide();
        LabelMapUnavailable->show();
    });
    if (!mapAddress_.isEmpty())
        showMapPage(QUrl(mapAddress_));
}

void TForm1::showMapPage(const QUrl& address) {
    if (!WebBrowser1)
        return;
    // A new tile server or credit reaches a built-in page that stays loaded.
    if (mapScheme_->setTiles(TileURL, TileAttribution))
        callMapPage("setTiles", {mapScheme_->tilePath(), TileAttribution});
    // On the built-in page, an address that differs in its fragment only moves the map and
    // keeps what is drawn on it.
    WebBrowser1->setUrl(address);
}

void TForm1::callMapPage(const char* function, const QJsonArray& arguments) {
    if (!WebBrowser1 || WebBrowser1->url().scheme() != QLatin1String(kMapScheme))
        return;
    const QString list = QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact));
    WebBrowser1->page()->runJavaScript(QStringLiteral("window.geodot && geodot.%1(...%2);")
                                           .arg(QLatin1String(function), list));
}

void TForm1::showDirectionOnMap() {
    callMapPage("setDirection", {CB_Compass->isChecked() ? QJsonValue(NewTag11) : QJsonValue()});
}

void TForm1::showTrackOnMap() {
    if (mapTrack_.isEmpty())
        callMapPage("clearTrack", {});
    else
        callMapPage("setTrack", {mapTrack_});
}

void TForm1::setMapTrack(const QJsonArray& lines) {
    mapTrack_ = lines;
    showTrackOnMap();
}

void TForm1::fitMapToTrack() {
    if (mapLoaded_)
        callMapPage("fitTrack", {});
    else
        fitTrackOnLoad_ = true;
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
    showDirectionOnMap();
}

void TForm1::ButtonFindPlaceClick() {
    const int NS = signOf(ComboBoxLatitude);
    const int EW = signOf(ComboBoxLongitude);
    const double lat1 = numberIn(EditLat1), lat2 = numberIn(EditLat2), lat3 = numberIn(EditLat3);
    const double lon1 = numberIn(EditLon1), lon2 = numberIn(EditLon2), lon3 = numberIn(EditLon3);
    DisplayMap(15, NS, EW, lat1, lat2, lat3, lon1, lon2, lon3);
}

void TForm1::ButtonGetPosClick() {
    // The browser keeps reporting the last page that did load: its position is not the map's.
    if (mapLoadFailed_) {
        QMessageBox::warning(this, ExeName,
                             QStringLiteral("地図を読み込めなかったため、地図の位置はありません。\n"
                                            "入力欄はそのままです。"));
        return;
    }
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

    // In this order, so that a longitude that does not read leaves the latitude's list changed.
    const double latitude = numberIn(latText);
    ComboBoxLatitude->setCurrentIndex(latitude >= 0 ? 0 : 1);
    const double longitude = numberIn(lonText);
    const auto [lat, lon] = fillPosition(*this, latitude, longitude);
    ZoomRatio = std::uint16_t(NumberText::ParseInt32(zoomText.toStdU16String()));
    DisplayMap(ZoomRatio, lat.sign, lon.sign, lat.degrees, lat.minutes, lat.seconds,
               lon.degrees, lon.minutes, lon.seconds);
}
