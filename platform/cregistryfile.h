#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The text that stands in for the registry where there is none (see CRegistry), held line by line:
//
//     ; comment (or # comment)
//     [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
//     Common AppData=/srv/programdata
//
// Key paths and value names match without regard to case; blanks around names and data are ignored. When a
// value stands twice, the later line counts. A line that is neither a comment, a key nor a value below a
// key is skipped and listed in skippedLines(); the rest is read all the same.
//
// Every line is kept as it came: content() gives the text back byte for byte, changed only where
// setValue() and removeValue() changed it, so hand-written comments and even unreadable lines survive a write.
class CRegistryFile
{
public:
    struct SkippedLine
    {
        int number; // from 1
        QString text;
    };

    static CRegistryFile parse(const QByteArray& content);
    // See CRegistry::normalizedKeyPath.
    static QString normalizedKeyPath(const QString& keyPath);

    // The value's data, or an empty text when the key or the value is missing.
    QString value(const QString& keyPath, const QString& valueName) const;
    // Replaces the value's data in its line, or adds a line below its key, or the key at the end. False, with
    // nothing changed, for a key path, name or data that would not read back the same from a line: line
    // breaks, blanks around name or data, "=" in the name, or a name that would read as a key or comment.
    bool setValue(const QString& keyPath, const QString& valueName, const QString& data);
    // Removes every line of the value; false when there was none.
    bool removeValue(const QString& keyPath, const QString& valueName);

    QByteArray content() const;
    const QList<SkippedLine>& skippedLines() const { return m_skipped; }

private:
    enum class Kind
    {
        Other, // blank, comment, or skipped
        Key,
        Value,
    };
    struct Line
    {
        QByteArray raw; // without the line end
        Kind kind = Kind::Other;
        QString keyPath; // the key a Value line stands under, the key of a Key line
        QString name;
        QString data;
    };

    bool isValueLine(const Line& line, const QString& keyPath, const QString& valueName) const;

    std::vector<Line> m_lines;
    bool m_endsWithLineBreak = false;
    QList<SkippedLine> m_skipped;
};
