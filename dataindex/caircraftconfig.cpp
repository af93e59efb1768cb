#include "caircraftconfig.h"

#include <QFile>
#include <QTextCodec>

bool CAircraftConfig::read(const QString& path)
{
    m_title.clear();
    m_text.clear();
    QFile file(path);
    if (file.size() > MaximumSize || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(MaximumSize);

    QTextCodec::ConverterState state;
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    m_text = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0)
        m_text = QString::fromLatin1(bytes);
    if (m_text.startsWith(QChar(0xFEFF)))
        m_text.remove(0, 1);
    m_title = titleFromText(m_text);
    return true;
}

QString CAircraftConfig::titleFromText(const QString& text)
{
    bool inSection = false;
    const QVector<QStringRef> lines = text.splitRef(QLatin1Char('\n'));
    for (const QStringRef& rawLine : lines) {
        const QStringRef line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const int end = line.indexOf(QLatin1Char(']'));
            const QStringRef section = end < 0 ? line.mid(1) : line.mid(1, end - 1);
            inSection = section.trimmed().compare(QLatin1String("fltsim.0"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0 || line.left(equals).trimmed().compare(QLatin1String("sim"), Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(equals + 1).trimmed().toString();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2).trimmed();
        return value;
    }
    return QString();
}
