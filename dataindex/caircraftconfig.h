#pragma once

#include <QString>

// The parts of an aircraft's "Aircraft.cfg" that the search reads: the title of its first model (key "sim"
// of section "fltsim.0") and the whole text. Section and key names are matched without regard to case, as
// Windows reads such files; the text is UTF-8 when it is valid UTF-8, else Windows Latin-1.
class CAircraftConfig
{
public:
    // Files larger than this are not aircraft configurations and are not read.
    static constexpr qint64 MaximumSize = 4 * 1024 * 1024;

    // False when the file is missing, unreadable or too large (title and text are then empty).
    bool read(const QString& path);

    QString title() const { return m_title; }
    QString text() const { return m_text; }

    // The title from a configuration's text.
    static QString titleFromText(const QString& text);

private:
    QString m_title;
    QString m_text;
};
