#include "cregistryfile.h"

#include <QRegularExpression>

#include <algorithm>

namespace
{
bool sameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}
} // namespace

QString CRegistryFile::normalizedKeyPath(const QString& keyPath)
{
    QString path = keyPath.trimmed();
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    static const QRegularExpression repeatedBackslashes(QStringLiteral("\\\\{2,}"));
    path.replace(repeatedBackslashes, QStringLiteral("\\"));
    // Until nothing changes: stripping a backslash may uncover a blank, and trimming one a backslash.
    for (QString before; before != path;) {
        before = path;
        path = path.trimmed();
        while (path.endsWith(QLatin1Char('\\')))
            path.chop(1);
        while (path.startsWith(QLatin1Char('\\')))
            path.remove(0, 1);
    }

    const QString hive = path.section(QLatin1Char('\\'), 0, 0);
    if (hive.compare(QLatin1String("HKLM"), Qt::CaseInsensitive) == 0)
        path.replace(0, hive.size(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    else if (hive.compare(QLatin1String("HKCU"), Qt::CaseInsensitive) == 0)
        path.replace(0, hive.size(), QStringLiteral("HKEY_CURRENT_USER"));
    return path;
}

CRegistryFile CRegistryFile::parse(const QByteArray& content)
{
    CRegistryFile file;
    QList<QByteArray> raws = content.split('\n');
    file.m_endsWithLineBreak = content.endsWith('\n');
    if (file.m_endsWithLineBreak || content.isEmpty())
        raws.removeLast();

    QString currentKey; // empty before the first readable key line, and after an unreadable one
    int number = 0;
    for (const QByteArray& raw : qAsConst(raws)) {
        ++number;
        Line line;
        line.raw = raw;
        const QString text = QString::fromUtf8(raw).trimmed();
        const int equals = text.indexOf(QLatin1Char('='));
        if (text.isEmpty() || text.startsWith(QLatin1Char(';')) || text.startsWith(QLatin1Char('#'))) {
            line.kind = Kind::Other;
        } else if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')) && text.size() > 2) {
            currentKey = normalizedKeyPath(text.mid(1, text.size() - 2));
            line.kind = currentKey.isEmpty() ? Kind::Other : Kind::Key;
            line.keyPath = currentKey;
            if (currentKey.isEmpty())
                file.m_skipped.append({number, text});
        } else if (!currentKey.isEmpty() && equals >= 0) {
            line.kind = Kind::Value;
            line.keyPath = currentKey;
            line.name = text.left(equals).trimmed();
            line.data = text.mid(equals + 1).trimmed();
        } else {
            file.m_skipped.append({number, text});
        }
        file.m_lines.push_back(line);
    }
    return file;
}

bool CRegistryFile::isValueLine(const Line& line, const QString& keyPath, const QString& valueName) const
{
    return line.kind == Kind::Value && sameText(line.keyPath, keyPath) && sameText(line.name, valueName);
}

QString CRegistryFile::value(const QString& keyPath, const QString& valueName) const
{
    const QString key = normalizedKeyPath(keyPath);
    for (auto line = m_lines.crbegin(); line != m_lines.crend(); ++line) {
        if (isValueLine(*line, key, valueName))
            return line->data;
    }
    return QString();
}

bool CRegistryFile::setValue(const QString& keyPath, const QString& valueName, const QString& data)
{
    const QString key = normalizedKeyPath(keyPath);
    const bool representable = !key.isEmpty() && !hasLineBreak(key) && !hasLineBreak(valueName) &&
                               !hasLineBreak(data) && valueName == valueName.trimmed() && data == data.trimmed() &&
                               !valueName.contains(QLatin1Char('=')) && !valueName.startsWith(QLatin1Char('[')) &&
                               !valueName.startsWith(QLatin1Char(';')) && !valueName.startsWith(QLatin1Char('#'));
    if (!representable)
        return false;

    for (auto line = m_lines.rbegin(); line != m_lines.rend(); ++line) {
        if (isValueLine(*line, key, valueName)) {
            line->data = data;
            line->raw = (line->name + QLatin1Char('=') + data).toUtf8();
            return true;
        }
    }

    Line added;
    added.kind = Kind::Value;
    added.keyPath = key;
    added.name = valueName;
    added.data = data;
    added.raw = (valueName + QLatin1Char('=') + data).toUtf8();

    // Below the last line of the key: its last value, or its key line when it has none.
    std::size_t below = m_lines.size();
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != Kind::Other && sameText(m_lines[i].keyPath, key))
            below = i;
    }
    if (below < m_lines.size()) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(below) + 1, added);
        return true;
    }

    if (!m_lines.empty() && !m_lines.back().raw.trimmed().isEmpty())
        m_lines.push_back(Line());
    Line header;
    header.kind = Kind::Key;
    header.keyPath = key;
    header.raw = (QLatin1Char('[') + key + QLatin1Char(']')).toUtf8();
    m_lines.push_back(header);
    m_lines.push_back(added);
    m_endsWithLineBreak = true;
    return true;
}

bool CRegistryFile::removeValue(const QString& keyPath, const QString& valueName)
{
    const QString key = normalizedKeyPath(keyPath);
    const auto before = m_lines.size();
    m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(),
                                 [&](const Line& line) { return isValueLine(line, key, valueName); }),
                  m_lines.end());
    return m_lines.size() != before;
}

QByteArray CRegistryFile::content() const
{
    QByteArray text;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        text += m_lines[i].raw;
        if (i + 1 < m_lines.size() || m_endsWithLineBreak)
            text += '\n';
    }
    return text;
}
