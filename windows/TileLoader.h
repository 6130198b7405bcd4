#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;
class QWebEngineUrlRequestJob;

// Answers a request of the web page with `data`.
void AnswerJob(QWebEngineUrlRequestJob* job, const QByteArray& contentType,
               const QByteArray& data);

// Fetches map tiles for the map page, as tile servers ask of applications: the program names
// itself (User-Agent and Referer), keeps what it fetched in a disk cache and honours the
// server's cache headers, and has at most two requests, and so at most two connections, open
// to a host. Only what the page asks for is fetched. Without the network, a cached tile is
// served however old it is.
class TileLoader : public QObject {
    Q_OBJECT

public:
    TileLoader(const QString& cacheFolder, const QString& userAgent, const QString& referer,
               QObject* parent = nullptr);

    // Answers `job` with the picture at `url`, or fails it. A job that goes away meanwhile (the
    // page no longer needs the tile) ends its request.
    void load(QWebEngineUrlRequestJob* job, const QUrl& url);

private:
    struct Request {
        QPointer<QWebEngineUrlRequestJob> job;
        QUrl url;
    };
    void startNext(const QString& host);
    void start(const Request& request);
    void finished(QNetworkReply* reply, const Request& request);
    // Answers from the disk cache; false when it holds no picture for the address.
    bool answerFromCache(QWebEngineUrlRequestJob* job, const QUrl& url);

    QNetworkAccessManager* network_;
    QNetworkDiskCache* cache_;
    QString userAgent_, referer_;
    QHash<QString, int> running_;
    QHash<QString, QQueue<Request>> waiting_;
};
