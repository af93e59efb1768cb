#include "cfakesimulatortree.h"

#include "dataindex/csimulators.h"
#include "platform/cregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

CFakeSimulatorTree::CFakeSimulatorTree(const QString& root)
    : m_root(QDir::cleanPath(root))
{
    QDir().mkpath(m_root);
}

QString CFakeSimulatorTree::path(const QString& relative) const
{
    QString internal = relative;
    internal.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::isAbsolutePath(internal))
        return QDir::cleanPath(internal);
    return QDir::cleanPath(m_root + QLatin1Char('/') + internal);
}

QString CFakeSimulatorTree::makeFolder(const QString& relative) const
{
    const QString folder = path(relative);
    QDir().mkpath(folder);
    return folder;
}

QString CFakeSimulatorTree::writeFile(const QString& relative, const QByteArray& content) const
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(content);
    return file;
}

QString CFakeSimulatorTree::addAircraft(const QString& relativeFolder, const QString& title) const
{
    QByteArray config = "[General]\natc_type=TEST\n\n[fltsim.0]\nmodel=\n";
    if (!title.isNull())
        config += "sim=" + title.toUtf8() + "\n";
    writeFile(relativeFolder + QStringLiteral("/Aircraft.cfg"), config);
    return path(relativeFolder);
}

bool CFakeSimulatorTree::registerSimulator(int simulator, const QString& folder)
{
    const QString fsKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\"
                                         "Flight Simulator\\");
    const QString uninstall = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                             "Uninstall\\");
    const QString p3dUser = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\");
    switch (simulator) {
    case SimFS9:
        return setRegistryValue(fsKey + QStringLiteral("9.0"), QStringLiteral("EXE Path"), folder);
    case SimFSX:
        return setRegistryValue(fsKey + QStringLiteral("10.0"), QStringLiteral("SetupPath"), folder);
    case SimFSXSteam:
        return setRegistryValue(uninstall + QStringLiteral("Steam App 314160"), QStringLiteral("InstallLocation"),
                                folder);
    case SimP3D:
        return setRegistryValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\LockheedMartin\\Prepar3D"),
                                QStringLiteral("SetupPath"), folder);
    case SimP3Dv2:
        return setRegistryValue(p3dUser + QStringLiteral("Prepar3D v2"), QStringLiteral("AppPath"), folder);
    case SimP3Dv3:
        return setRegistryValue(p3dUser + QStringLiteral("Prepar3D v3"), QStringLiteral("AppPath"), folder);
    case SimP3Dv4:
        return setRegistryValue(p3dUser + QStringLiteral("Prepar3D v4"), QStringLiteral("AppPath"), folder);
    case SimXPlane10:
        return setRegistryValue(uninstall + QStringLiteral("Steam App 292180"), QStringLiteral("InstallLocation"),
                                folder);
    default:
        return false;
    }
}

bool CFakeSimulatorTree::setRegistryValue(const QString& keyPath, const QString& valueName, const QString& data)
{
    return CRegistry::writeValue(keyPath, valueName, data);
}
