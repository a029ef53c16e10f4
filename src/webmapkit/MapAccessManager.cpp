#include "webmapkit/MapAccessManager.h"

#include "webmapkit/MapReplyGuard.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

MapAccessManager::RequestFilter& requestFilter()
{
    static MapAccessManager::RequestFilter filter;
    return filter;
}

} // namespace

void MapAccessManager::setRequestFilter(RequestFilter filter)
{
    requestFilter() = std::move(filter);
}

MapAccessManager::MapAccessManager(QByteArray userAgent, QObject* parent)
    : QNetworkAccessManager(parent)
    , userAgent_(std::move(userAgent))
{
}

bool MapAccessManager::isNetworkUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QNetworkReply* MapAccessManager::createRequest(Operation op, const QNetworkRequest& request, QIODevice* outgoingData)
{
    QNetworkRequest sent(request);
    sent.setHeader(QNetworkRequest::UserAgentHeader, userAgent_);
    if (sent.transferTimeout() == 0) {
        sent.setTransferTimeout(transferTimeoutMs_);
    }
    // Qt's transfer thread learns the read buffer's size from the reply only
    // once, for the transfer the request started: the next one it would start
    // on its own for a redirect would read without limit. A redirect ends the
    // reply instead, and its owner asks again through this manager.
    sent.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Qt's HTTP/2 transfer heeds no read buffer at all: it grants the server
    // all it asks for and holds it, however late the reader is. HTTP/1.1 it is.
    sent.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    sent.setAttribute(QNetworkRequest::Http2DirectAttribute, false);
    if (!isNetworkUrl(sent.url()) || (requestFilter() && !requestFilter()(sent.url()))) {
        // A page script or a bad template must not reach local files or other
        // schemes; an unknown scheme makes Qt answer with an error reply.
        QUrl refused;
        refused.setScheme(QStringLiteral("refused"));
        refused.setPath(sent.url().toString());
        sent.setUrl(refused);
    }
    QNetworkReply* reply = QNetworkAccessManager::createRequest(op, sent, outgoingData);
    reply->setReadBufferSize(kReadBufferBytes);
    const QVariant maxBytes = request.attribute(kMaxBytesAttribute);
    const QVariant purpose = request.attribute(kPurposeAttribute);
    MapReplyGuard::watch(reply, maxBytes.isValid() ? maxBytes.toLongLong() : kDefaultMaxBytes, answerDeadline_,
        purpose.isValid() ? purpose.toString() : QStringLiteral("map page request"));
    return reply;
}
