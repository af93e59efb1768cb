#pragma once

#include "foundation/exception.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The log-in form: user name, masked password and the "&Login" button; Enter in either field signs in.
class CLoginViewPage : public QWidget
{
    Q_OBJECT

public:
    explicit CLoginViewPage(QWidget* parent = nullptr);

    // Rich text under the form; empty hides it.
    void setMessage(const QString& text);
    QString message() const;
    void focusUserName();

signals:
    void loginButtonClicked(const QString& username, const QString& password);

public slots:
    void onLoginButtonClicked();

private:
    QLineEdit* m_userName;
    QLineEdit* m_password;
    QPushButton* m_login;
    QLabel* m_message;
};

// The log-in page: hands the form's texts to the user session when the network is up.
class CLoginView : public QWidget
{
    Q_OBJECT

public:
    explicit CLoginView(QWidget* parent = nullptr);

    CLoginViewPage* page() const { return m_page; }
    // The failure message with its account retrieval and registration links.
    static QString failureMessage();
    // The web site the links point to: TESSARAY_WEBSITE_ADDRESS at build time.
    static QString websiteAddress();

signals:
    void validatingUser();
    void userAuthFailed(const Exception& error);

public slots:
    void onLoginButtonPressed(const QString& username, const QString& password);

private:
    void connectSession();

    CLoginViewPage* m_page;
    bool m_sessionConnected = false;
    bool m_pending = false;
};
