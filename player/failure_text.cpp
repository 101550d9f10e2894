// player/: the failure text: one reason in the user's words, the most specific the engine's report allows.
#include "player/failure_text.h"

#include <QRegularExpression>

namespace player {

QString FailureText(const EngineReport& report) {
    const QString log = report.log.join(QLatin1Char('\n'));
    auto said = [&log](const char* text) { return log.contains(QLatin1String(text), Qt::CaseInsensitive); };
    // A playlist from a server naming this machine's files: refused by the engine (or by FFmpeg inside HLS).
    if (said("unsafe URL from a playlist") || said("not on whitelist")) return QStringLiteral("不支持的地址");
    if (said("playlist loop")) return QStringLiteral("无法播放：播放列表嵌套太深");
    switch (report.end.error) {
    case EngineError::AudioOutputFailed:
        return QStringLiteral("音频设备不可用");
    case EngineError::UnknownFormat:
        return QStringLiteral("无法播放：格式不支持");
    case EngineError::NothingToPlay:
        return QStringLiteral("无法播放：没有声音");
    case EngineError::None:
        if (report.end.reason == EndOfFile::Eof) return QStringLiteral("无法连接：连接中断");
        break;
    default:
        break;
    }
    if (report.local) {
        if (said("No such file")) return QStringLiteral("无法播放：找不到文件");
        if (said("Permission denied")) return QStringLiteral("无法播放：没有权限");
        return QStringLiteral("无法播放");
    }
    if (said("Connection refused")) return QStringLiteral("无法连接：服务器拒绝连接");
    if (said("timed out") || said("timeout")) return QStringLiteral("无法连接：连接超时");
    if (said("resolve") || said("Name or service not known") || said("name resolution"))
        return QStringLiteral("无法连接：找不到服务器");
    static const QRegularExpression http(QStringLiteral("HTTP error (\\d{3})"));
    if (const QRegularExpressionMatch m = http.match(log); m.hasMatch())
        return m.captured(1) == QLatin1String("404")
                   ? QStringLiteral("无法连接：找不到电台（404）")
                   : QStringLiteral("无法连接：服务器错误 %1").arg(m.captured(1));
    if (report.aborted || said("hung up")) return QStringLiteral("无法连接：服务器反复断开");
    return QStringLiteral("无法连接");
}

} // namespace player
