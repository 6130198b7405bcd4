#include "MapPage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <cmath>

#include "TileLoader.h"

namespace {

// The deepest zoom level a tile is asked for at.
constexpr int kDeepestZoom = 24;

QByteArray contentTypeOf(const QString& path) {
    const std::pair<const char*, const char*> types[] = {
        {".html", "text/html;charset=utf-8"}, {".js", "text/javascript;charset=utf-8"},
        {".css", "text/css;charset=utf-8"},   {".png", "image/png"},
    };
    for (const auto& [suffix, type] : types)
        if (path.endsWith(QLatin1String(suffix)))
            return type;
    return "application/octet-stream";
}

// The page's own files: the page from the resources under /map, and the web channel's script
// from Qt's.
QString resourceFor(const QString& path) {
    if (path == QLatin1String("/qwebchannel.js"))
        return QStringLiteral(":/qtwebchannel/qwebchannel.js");
    if (path.contains(QLatin1String("..")))
        return {};
    return QStringLiteral(":/map") + (path.isEmpty() || path == QLatin1String("/")
                                          ? QStringLiteral("/index.html")
                                          : path);
}

} // namespace

void RegisterMapScheme() {
    QWebEngineUrlScheme scheme(kMapScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // A secure context of its own, which pages from the network cannot reach.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString ProjectAddress() {
    return QStringLiteral(GEODOT_HOMEPAGE);
}

QString TileAddress(const QString& pattern, int z, int x, int y) {
    QString address = pattern;
    address.replace(QLatin1String("{z}"), QString::number(z));
    address.replace(QLatin1String("{x}"), QString::number(x));
    address.replace(QLatin1String("{y}"), QString::number(y));
    const QUrl url(address, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return url.isValid() && web && !url.host().isEmpty() ? address : QString();
}

MapSchemeHandler::MapSchemeHandler(const QString& cacheFolder, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent),
      tiles_(new TileLoader(cacheFolder,
                            QStringLiteral("geodot/" GEODOT_VERSION_TEXT " (+") +
                                ProjectAddress() + u')',
                            ProjectAddress(), this)) {}

bool MapSchemeHandler::setTiles(const QString& pattern, const QString& attribution) {
    if (pattern == pattern_ && attribution == attribution_)
        return false;
    if (pattern != pattern_)
        ++generation_;
    pattern_ = pattern;
    attribution_ = attribution;
    return true;
}

QString MapSchemeHandler::tilePath() const {
    return QStringLiteral("tile/%1/{z}/{x}/{y}").arg(generation_);
}

void MapSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kMapHost) || job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString path = url.path();
    if (path.startsWith(QLatin1String("/tile/"))) {
        answerTile(job, path.mid(6).split(u'/'));
        return;
    }
    if (path == QLatin1String("/settings.js")) {
        const QJsonObject settings{{QStringLiteral("tiles"), tilePath()},
                                   {QStringLiteral("attribution"), attribution_}};
        AnswerJob(job, contentTypeOf(path),
                  "window.geodotSettings = " + QJsonDocument(settings).toJson(QJsonDocument::Compact) +
                      ";\n");
        return;
    }
    const QString resource = resourceFor(path);
    QFile file(resource);
    if (resource.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    AnswerJob(job, contentTypeOf(resource), file.readAll());
}

void MapSchemeHandler::answerTile(QWebEngineUrlRequestJob* job, const QStringList& parts) {
    // generation / z / x / y, each a whole number; x and y within the 2^z tiles of the level.
    bool ok = parts.size() == 4;
    int numbers[4] = {};
    for (qsizetype i = 0; ok && i < 4; ++i)
        numbers[i] = parts[i].toInt(&ok);
    // The generation only tells the page's pictures apart.
    const int z = numbers[1], x = numbers[2], y = numbers[3];
    if (!ok || z < 0 || z > kDeepestZoom || x < 0 || y < 0 || x >= (1 << z) || y >= (1 << z)) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    const QString address = TileAddress(pattern_, z, x, y);
    if (address.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    tiles_->load(job, QUrl(address));
}

void MapBridge::pick(double lat, double lon) {
    if (std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90 && std::abs(lon) <= 180)
        emit picked(lat, lon);
}
