#pragma once

// A tile server on 127.0.0.1 for the map tests: it answers GET /{z}/{x}/{y}.png with a small
// picture that may be kept for a day, and records what it was asked and how.

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

namespace windowtest {

class TileServer {
public:
    struct Request {
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    TileServer() {
        for (const QColor colour : {QColor(0xe8, 0xef, 0xe0), QColor(0xea, 0xe6, 0xdc)}) {
            QImage tile(256, 256, QImage::Format_RGB32);
            tile.fill(colour);
            QBuffer png;
            png.open(QIODevice::WriteOnly);
            tile.save(&png, "PNG");
            tiles_.append(png.data());
        }
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { accept(); });
        server_.listen(QHostAddress::LocalHost);
        port_ = server_.serverPort();
    }

    // The TileURL setting that addresses this server.
    QString tileTemplate() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port_);
    }

    // From now on every connection is refused, as without the network.
    void stop() {
        server_.close();
        for (QTcpSocket* socket : QSet<QTcpSocket*>(open_))
            socket->abort();
    }

    QList<Request> requests;
    int mostConnectionsAtOnce = 0;

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            open_.insert(socket);
            mostConnectionsAtOnce = std::max(mostConnectionsAtOnce, int(open_.size()));
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, [this, socket] {
                open_.remove(socket);
                buffers_.remove(socket);
                socket->deleteLater();
            });
        }
    }

    // Answers every whole request that has arrived on the connection (kept open between them).
    void read(QTcpSocket* socket) {
        QByteArray& pending = buffers_[socket];
        pending += socket->readAll();
        for (qsizetype end; (end = pending.indexOf("\r\n\r\n")) >= 0;) {
            const QList<QByteArray> lines = pending.left(end).split('\n');
            pending.remove(0, end + 4);
            Request request;
            request.path = lines.value(0).split(' ').value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                           lines[i].mid(colon + 1).trimmed());
            }
            requests.append(request);
            const QRegularExpressionMatch tile =
                QRegularExpression(QStringLiteral("^/(\\d+)/(\\d+)/(\\d+)\\.png$"))
                    .match(QString::fromLatin1(request.path));
            if (!tile.hasMatch()) {
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                continue;
            }
            const QByteArray& body = tiles_[(tile.captured(2).toInt() + tile.captured(3).toInt()) % 2];
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n"
                          "Cache-Control: max-age=86400\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
        }
    }

    QList<QByteArray> tiles_;
    quint16 port_ = 0; // kept when stopped
    QSet<QTcpSocket*> open_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    // Last: it goes first, and its connections report their end while the above still exist.
    QTcpServer server_;
};

} // namespace windowtest
