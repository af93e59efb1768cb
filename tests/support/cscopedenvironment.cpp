#include "cscopedenvironment.h"

CScopedEnvironment::~CScopedEnvironment()
{
    for (int i = m_saved.size() - 1; i >= 0; --i) {
        const QPair<QByteArray, QByteArray>& saved = m_saved.at(i);
        if (saved.second.isNull())
            qunsetenv(saved.first.constData());
        else
            qputenv(saved.first.constData(), saved.second);
    }
}

void CScopedEnvironment::remember(const char* name)
{
    m_saved.append(qMakePair(QByteArray(name), qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()));
}

void CScopedEnvironment::set(const char* name, const QByteArray& value)
{
    remember(name);
    qputenv(name, value);
}

void CScopedEnvironment::unset(const char* name)
{
    remember(name);
    qunsetenv(name);
}
