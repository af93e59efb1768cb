#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Sets environment variables for one test and puts the previous values back when it goes away
// (HOME for a scratch home folder, XDG_* for standard locations, ...).
class CScopedEnvironment
{
public:
    CScopedEnvironment() = default;
    ~CScopedEnvironment();
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

    void set(const char* name, const QByteArray& value);
    void unset(const char* name);

private:
    void remember(const char* name);
    QList<QPair<QByteArray, QByteArray>> m_saved; // name, previous value (null when unset)
};
