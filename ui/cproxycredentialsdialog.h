#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the user name and password a proxy wants; the password is not shown as it is typed.
class CProxyCredentialsDialog : public QDialog
{
    Q_OBJECT

public:
    CProxyCredentialsDialog(const QString& proxyName, const QString& userName, QWidget* parent = nullptr);

    QString userName() const;
    QString password() const;

    // Shows the dialog; true with both filled when the user gave a user name and confirmed.
    static bool ask(QWidget* parent, const QString& proxyName, QString* userName, QString* password);

private:
    QLineEdit* m_userName;
    QLineEdit* m_password;
};
