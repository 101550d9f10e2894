// web/: what every fetcher's requests share: the bounds of a station's requests and the words for a failure.
#include "web/fetcher.h"

#include <QHash>

namespace web {

Request Request::StationPlaylist(const QUrl& url) {
    Request request;
    request.url = url;
    request.maxBytes = 256 * 1024; // generous for any playlist; a longer body is a stream, or has no end
    request.timeoutMs = 15000;
    request.maxRedirects = 3;
    return request;
}

Request Request::StationHead(const QUrl& url) {
    Request request;
    request.url = url;
    request.maxBytes = 64 * 1024; // the status line and every header together
    request.timeoutMs = 5000;
    request.maxRedirects =
        3; // directory sites hand out addresses that redirect to the stream; more is a maze
    return request;
}

int PortOf(const QUrl& url) {
    static const QHash<QString, int> ports = {{QStringLiteral("http"), 80},  {QStringLiteral("https"), 443},
                                              {QStringLiteral("mms"), 1755}, {QStringLiteral("mmst"), 1755},
                                              {QStringLiteral("mmsh"), 80},  {QStringLiteral("rtsp"), 554},
                                              {QStringLiteral("rtmp"), 1935}};
    return url.port(ports.value(url.scheme().toLower(), -1));
}

bool IsNameUnder(const QString& host, const QString& domain) {
    QString name = host.toLower();
    // "host." is the same name written as fully qualified.
    if (name.endsWith(u'.')) name.chop(1);
    return !domain.isEmpty() && name.size() > domain.size() + 1 && name.endsWith(u'.' + domain.toLower()) &&
           !name.startsWith(u'.');
}

QString FailureText(Failure failure) {
    switch (failure) {
    case Failure::None:
        return {};
    case Failure::Unsupported:
        return QStringLiteral("不支持的地址");
    case Failure::Unreachable:
        return QStringLiteral("无法连接服务器");
    case Failure::TimedOut:
        return QStringLiteral("连接超时");
    case Failure::TooLarge:
        return QStringLiteral("内容太长");
    case Failure::Refused:
        return QStringLiteral("服务器拒绝了请求");
    case Failure::TooManyRedirects:
        return QStringLiteral("重定向太多");
    case Failure::Insecure:
        return QStringLiteral("证书无效");
    case Failure::NotAFile:
        return QStringLiteral("不是普通文件");
    case Failure::Missing:
        return QStringLiteral("找不到文件");
    case Failure::NoResources:
        return QStringLiteral("系统资源不足");
    }
    return {};
}

} // namespace web
