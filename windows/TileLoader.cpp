#include "TileLoader.h"

#include <QBuffer>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QWebEngineUrlRequestJob>

#include <memory>

namespace {

// Requests open at once to one host.
constexpr int kConnectionsPerHost = 2;
// A tile is some kilobytes; anything this large is not one.
constexpr qint64 kLargestTile = 4 * 1024 * 1024;
constexpr int kTransferTimeoutMs = 15000;
constexpr qint64 kCacheBytes = 200LL * 1024 * 1024;

bool isPicture(const QByteArray& contentType) {
    return contentType.startsWith("image/");
}

} // namespace

void AnswerJob(QWebEngineUrlRequestJob* job, const QByteArray& contentType,
               const QByteArray& data) {
    auto* body = new QBuffer(job); // goes with the job
    body->setData(data);
    job->reply(contentType, body);
}

TileLoader::TileLoader(const QString& cacheFolder, const QString& userAgent,
                       const QString& referer, QObject* parent)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      cache_(new QNetworkDiskCache(this)),
      userAgent_(userAgent),
      referer_(referer) {
    cache_->setCacheDirectory(cacheFolder);
    cache_->setMaximumCacheSize(kCacheBytes);
    network_->setCache(cache_);
}

void TileLoader::load(QWebEngineUrlRequestJob* job, const QUrl& url) {
    // A tile the cache may still serve by the server's own headers needs no turn in the queue.
    const QNetworkCacheMetaData cached = cache_->metaData(url);
    if (cached.isValid() && cached.expirationDate().isValid() &&
        cached.expirationDate() > QDateTime::currentDateTimeUtc() && answerFromCache(job, url))
        return;
    const QString host = url.host();
    waiting_[host].enqueue({job, url});
    startNext(host);
}

void TileLoader::startNext(const QString& host) {
    QQueue<Request>& queue = waiting_[host];
    while (running_.value(host) < kConnectionsPerHost && !queue.isEmpty()) {
        const Request request = queue.dequeue();
        if (request.job) // tiles the page gave up meanwhile are not fetched
            start(request);
    }
}

void TileLoader::start(const Request& request) {
    QNetworkRequest outgoing(request.url);
    outgoing.setHeader(QNetworkRequest::UserAgentHeader, userAgent_);
    outgoing.setRawHeader("Referer", referer_.toUtf8());
    outgoing.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                          QNetworkRequest::PreferNetwork);
    outgoing.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = network_->get(outgoing);
    ++running_[request.url.host()];
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kLargestTile)
            reply->abort();
    });
    connect(request.job, &QObject::destroyed, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, request] { finished(reply, request); });
}

void TileLoader::finished(QNetworkReply* reply, const Request& request) {
    reply->deleteLater();
    const QString host = request.url.host();
    --running_[host];
    if (QWebEngineUrlRequestJob* job = request.job) {
        const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        if (reply->error() == QNetworkReply::NoError && isPicture(type))
            AnswerJob(job, type, reply->readAll());
        else if (!answerFromCache(job, request.url))
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
    }
    startNext(host);
}

bool TileLoader::answerFromCache(QWebEngineUrlRequestJob* job, const QUrl& url) {
    const std::unique_ptr<QIODevice> data(cache_->data(url));
    if (!data)
        return false;
    QByteArray type;
    for (const auto& [name, value] : cache_->metaData(url).rawHeaders())
        if (name.compare("Content-Type", Qt::CaseInsensitive) == 0)
            type = value;
    if (!isPicture(type) || data->size() > kLargestTile)
        return false;
    AnswerJob(job, type, data->readAll());
    return true;
}
