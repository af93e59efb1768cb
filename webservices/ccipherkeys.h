#pragma once

#include <QString>

// The program's two fixed cipher keys, as hexadecimal text (see CDownloadLogUtils::encryptText).
// Values in users' "settings.conf" and the passwords of data and backup packages were enciphered under
// them: never change them, or stored log-ins, proxy passwords and existing backups become unreadable.
namespace CCipherKeys
{
// 74 digits, 37 key bytes: the stored access token ("program/token").
inline const QString TokenKey =
    QStringLiteral("e5cc48b70dae2e6a01095f0933a541554ef539dcaf3fc18d7ccb66fdf131210083c4961f13");
// 32 digits, 16 key bytes: every other enciphered text, used when no key is given.
inline const QString DefaultTextKey = QStringLiteral("a58d7a9e936f398effb73f62bf0f13ae");
} // namespace CCipherKeys
