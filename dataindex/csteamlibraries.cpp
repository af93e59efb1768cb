#include "csteamlibraries.h"

#include "foundation/clogger.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"
#include "platform/cstandardlocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace
{

// Steam's own files are a few kilobytes; a larger one is not read.
constexpr qint64 maximumKeyValuesFileSize = 1024 * 1024;
constexpr int maximumKeyValuesDepth = 16;

// One node of Steam's text "KeyValues" format: "key" "value" pairs and "key" { ... } blocks.
struct KeyValue
{
    QString key;
    QString value;
    QList<KeyValue> children;
};

class KeyValuesParser
{
public:
    explicit KeyValuesParser(const QByteArray& text)
        : m_text(QString::fromUtf8(text))
    {
    }

    QList<KeyValue> parse()
    {
        QList<KeyValue> top;
        parseBlock(top, 0);
        return top;
    }

private:
    enum class Token
    {
        End,
        Open,
        Close,
        Text,
    };

    Token next(QString& text)
    {
        for (;;) {
            while (m_position < m_text.size() && m_text.at(m_position).isSpace())
                ++m_position;
            if (m_position >= m_text.size())
                return Token::End;
            if (m_text.midRef(m_position, 2) == QLatin1String("//")) {
                const int end = m_text.indexOf(QLatin1Char('\n'), m_position);
                m_position = end < 0 ? m_text.size() : end + 1;
                continue;
            }
            break;
        }
        const QChar c = m_text.at(m_position);
        if (c == QLatin1Char('{')) {
            ++m_position;
            return Token::Open;
        }
        if (c == QLatin1Char('}')) {
            ++m_position;
            return Token::Close;
        }
        text.clear();
        if (c == QLatin1Char('"')) {
            ++m_position;
            while (m_position < m_text.size() && m_text.at(m_position) != QLatin1Char('"')) {
                QChar ch = m_text.at(m_position++);
                if (ch == QLatin1Char('\\') && m_position < m_text.size()) {
                    const QChar escaped = m_text.at(m_position++);
                    ch = escaped == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                         : escaped == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                                                       : escaped;
                }
                text.append(ch);
            }
            ++m_position; // the closing quote, or past the end of a cut-off text
            return Token::Text;
        }
        while (m_position < m_text.size()) {
            const QChar ch = m_text.at(m_position);
            if (ch.isSpace() || ch == QLatin1Char('{') || ch == QLatin1Char('}') || ch == QLatin1Char('"'))
                break;
            text.append(ch);
            ++m_position;
        }
        return Token::Text;
    }

    // Reads pairs into `into` until the block's "}" or the end; false on a fault, keeping what was read.
    bool parseBlock(QList<KeyValue>& into, int depth)
    {
        QString text;
        for (;;) {
            const Token keyToken = next(text);
            if (keyToken == Token::End || keyToken == Token::Close)
                return true;
            if (keyToken != Token::Text)
                return false;
            KeyValue node;
            node.key = text;
            const Token valueToken = next(text);
            if (valueToken == Token::Text) {
                node.value = text;
                into.append(node);
                continue;
            }
            if (valueToken != Token::Open || depth >= maximumKeyValuesDepth)
                return false;
            const bool complete = parseBlock(node.children, depth + 1);
            into.append(node);
            if (!complete)
                return false;
        }
    }

    QString m_text;
    int m_position = 0;
};

const KeyValue* child(const QList<KeyValue>& nodes, const QString& key)
{
    for (const KeyValue& node : nodes) {
        if (node.key.compare(key, Qt::CaseInsensitive) == 0)
            return &node;
    }
    return nullptr;
}

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    if (file.size() > maximumKeyValuesFileSize || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(maximumKeyValuesFileSize);
}

bool isNumber(const QString& text)
{
    bool ok = false;
    text.toInt(&ok);
    return ok;
}

QString steamAppsFolder(const QString& library)
{
    // Older Steam wrote "SteamApps".
    return CLocalPath::existingPath(library + QStringLiteral("/steamapps"));
}

} // namespace

QStringList CSteamLibraries::steamRoots()
{
    QStringList candidates;
    const QString home = CStandardLocations::homePath();
#if defined(Q_OS_WIN)
    candidates << CRegistry::readRegistryValue(QStringLiteral("HKEY_CURRENT_USER\\Software\\Valve"),
                                               QStringLiteral("Steam"), QStringLiteral("SteamPath"))
               << CRegistry::readRegistryValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Valve"),
                                               QStringLiteral("Steam"), QStringLiteral("InstallPath"));
#elif defined(Q_OS_MACOS)
    candidates << home + QStringLiteral("/Library/Application Support/Steam");
#else
    candidates << home + QStringLiteral("/.local/share/Steam") << home + QStringLiteral("/.steam/steam")
               << home + QStringLiteral("/.steam/root")
               << home + QStringLiteral("/.var/app/com.valvesoftware.Steam/.local/share/Steam");
#endif
    QStringList roots;
    for (const QString& candidate : qAsConst(candidates)) {
        if (candidate.isEmpty())
            continue;
        const bool exists = QFileInfo(CLocalPath::toInternal(candidate)).isDir();
        BV_LOG(1, QStringLiteral("Probing Steam folder '%0': %1")
                      .arg(candidate, exists ? QStringLiteral("exists") : QStringLiteral("missing")));
        if (exists)
            roots.append(QDir::cleanPath(CLocalPath::toInternal(candidate)));
    }
    return roots;
}

QStringList CSteamLibraries::libraries()
{
    QStringList candidates;
    const QStringList roots = steamRoots();
    for (const QString& root : roots) {
        candidates.append(root);
        const QString steamApps = steamAppsFolder(root);
        QStringList vdfFiles;
        if (!steamApps.isEmpty())
            vdfFiles << steamApps + QStringLiteral("/libraryfolders.vdf");
        vdfFiles << root + QStringLiteral("/config/libraryfolders.vdf");
        for (const QString& vdf : qAsConst(vdfFiles)) {
            const QStringList listed = libraryPathsFromVdf(readSmallFile(vdf));
            BV_LOG(1, QStringLiteral("Probing Steam library list '%0': %1 libraries").arg(vdf).arg(listed.size()));
            candidates.append(listed);
        }
    }

    QStringList result;
    QSet<QString> seen;
    for (const QString& candidate : qAsConst(candidates)) {
        const QFileInfo info(QDir::cleanPath(CLocalPath::toInternal(candidate)));
        if (!info.isDir())
            continue;
        // ~/.steam/steam and ~/.steam/root are links to the one Steam folder.
        const QString canonical = info.canonicalFilePath();
        if (seen.contains(canonical))
            continue;
        seen.insert(canonical);
        result.append(info.absoluteFilePath());
    }
    return result;
}

QString CSteamLibraries::appFolder(const QString& appId)
{
    const QStringList libraryList = libraries();
    for (const QString& library : libraryList) {
        const QString steamApps = steamAppsFolder(library);
        if (steamApps.isEmpty())
            continue;
        const QString manifest = CLocalPath::existingPath(steamApps + QStringLiteral("/appmanifest_%0.acf").arg(appId));
        BV_LOG(1, QStringLiteral("Probing Steam manifest of app %0 in '%1': %2")
                      .arg(appId, library, manifest.isEmpty() ? QStringLiteral("missing") : manifest));
        if (manifest.isEmpty())
            continue;
        const QString installDir = installDirFromManifest(readSmallFile(manifest));
        if (installDir.isEmpty() || CLocalPath::leavesFolder(installDir))
            continue;
        const QString folder = CLocalPath::existingPath(steamApps + QStringLiteral("/common/") + installDir);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QString();
}

QString CSteamLibraries::commonFolder(const QString& name)
{
    const QStringList libraryList = libraries();
    for (const QString& library : libraryList) {
        const QString steamApps = steamAppsFolder(library);
        if (steamApps.isEmpty())
            continue;
        const QString folder = CLocalPath::existingPath(steamApps + QStringLiteral("/common/") + name);
        BV_LOG(1, QStringLiteral("Probing Steam folder '%0' in '%1': %2")
                      .arg(name, library, folder.isEmpty() ? QStringLiteral("missing") : folder));
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QString();
}

QStringList CSteamLibraries::libraryPathsFromVdf(const QByteArray& text)
{
    QStringList paths;
    const QList<KeyValue> top = KeyValuesParser(text).parse();
    const KeyValue* root = child(top, QStringLiteral("libraryfolders"));
    if (!root)
        return paths;
    for (const KeyValue& entry : root->children) {
        if (!isNumber(entry.key))
            continue;
        if (!entry.value.isEmpty()) {
            paths.append(entry.value);
        } else if (const KeyValue* path = child(entry.children, QStringLiteral("path"))) {
            if (!path->value.isEmpty())
                paths.append(path->value);
        }
    }
    return paths;
}

QString CSteamLibraries::installDirFromManifest(const QByteArray& text)
{
    const QList<KeyValue> top = KeyValuesParser(text).parse();
    const KeyValue* state = child(top, QStringLiteral("AppState"));
    if (!state)
        return QString();
    const KeyValue* installDir = child(state->children, QStringLiteral("installdir"));
    return installDir ? installDir->value : QString();
}
