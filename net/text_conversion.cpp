#include "net/text_conversion.h"

#include <QStringDecoder>

namespace orvana {

QString Utf8BytesToText(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return QString();
    // Keep a leading byte-order mark, and turn a sequence cut off at the end into U+FFFD.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

bool IsValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QString CleanFileName(const QString& name) {
    static constexpr char16_t kRemoved[] = {u'?', u'|', u'/', u'\\', u'*',
                                            u':', u'"', u'<', u'>',  u'.'};
    // Line breaks and tabs in a file name break listings and scripts; they become spaces, which
    // the trimming below may then take off the ends.
    QString cleaned = ControlsToSpaces(name);
    for (char16_t c : kRemoved)
        cleaned.remove(QChar(c));
    return TrimSpaces(cleaned);
}

QString ControlsToSpaces(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

QString TrimSpaces(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.sliced(first, last - first).toString();
}

} // namespace orvana
