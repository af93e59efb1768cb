#include "cproxycredentialsdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CProxyCredentialsDialog::CProxyCredentialsDialog(const QString& proxyName, const QString& userName, QWidget* parent)
    : QDialog(parent)
    , m_userName(new QLineEdit(userName, this))
    , m_password(new QLineEdit(this))
{
    setObjectName(QStringLiteral("proxyCredentialsDialog"));
    setWindowTitle(tr("Proxy authentication"));
    m_userName->setObjectName(QStringLiteral("proxyUserNameEdit"));
    m_password->setObjectName(QStringLiteral("proxyPasswordEdit"));
    m_password->setEchoMode(QLineEdit::Password);

    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(tr("The proxy %0 asks for a user name and password. They are kept, enciphered, in the "
                               "program's settings.")
                                .arg(proxyName.toHtmlEscaped()),
                            this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* form = new QFormLayout;
    form->addRow(tr("&Username"), m_userName);
    form->addRow(tr("&Password"), m_password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!userName.trimmed().isEmpty());
    connect(m_userName, &QLineEdit::textChanged, ok,
            [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (userName.isEmpty() ? m_userName : m_password)->setFocus();
}

QString CProxyCredentialsDialog::userName() const
{
    return m_userName->text().trimmed();
}

QString CProxyCredentialsDialog::password() const
{
    return m_password->text();
}

bool CProxyCredentialsDialog::ask(QWidget* parent, const QString& proxyName, QString* userName, QString* password)
{
    CProxyCredentialsDialog dialog(proxyName, *userName, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.userName().isEmpty())
        return false;
    *userName = dialog.userName();
    *password = dialog.password();
    return true;
}
