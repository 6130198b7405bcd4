#pragma once

// The built-in map page, served under its own address scheme: the page and Leaflet from the
// program's resources, the tiles through a TileLoader, and the page's settings (tile path and
// attribution) as a small script.

#include <QObject>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

class TileLoader;

// The scheme and host of the built-in page: geodot://map/.
inline constexpr char kMapScheme[] = "geodot";
inline constexpr char kMapHost[] = "map";

// Makes the scheme known to the browser engine. Must run before the application object exists.
void RegisterMapScheme();

// The address tile servers are told the program comes from.
QString ProjectAddress();

// The tile server's address for a tile: {z}, {x} and {y} of `pattern` replaced. Empty when the
// result is not an http or https address.
QString TileAddress(const QString& pattern, int z, int x, int y);

class MapSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    // `cacheFolder` keeps the tiles between runs.
    MapSchemeHandler(const QString& cacheFolder, QObject* parent = nullptr);

    // The tile server's address pattern ({z}, {x}, {y}) and the credit shown on the map. A
    // change takes effect for the tiles asked for afterwards; true when either changed.
    bool setTiles(const QString& pattern, const QString& attribution);
    // The path the page asks for tiles under: it changes with the tile server, so the page does
    // not mix in pictures it holds from the previous one.
    QString tilePath() const;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void answerTile(QWebEngineUrlRequestJob* job, const QStringList& parts);

    TileLoader* tiles_;
    QString pattern_, attribution_;
    int generation_ = 0;
};

// What the page reports to the program over the web channel, as the object "map".
class MapBridge : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // A place the user clicked on the map or dragged the marker to.
    Q_INVOKABLE void pick(double lat, double lon);

signals:
    void picked(double lat, double lon);
};
