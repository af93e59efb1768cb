#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QToolButton;
class QVBoxLayout;

// One transient message: a coloured label with a close button. Types 7 and 8 (errors) stay until they
// are closed; type 8 has no close button, so only the program removes it.
class CMessageItem : public QFrame
{
    Q_OBJECT

public:
    static constexpr int ExpiryMs = 10000;

    CMessageItem(int type, const QString& text, QWidget* parent = nullptr);

    int type() const { return m_type; }
    QString text() const { return m_text; }
    static bool isSticky(int type) { return type == 7 || type == 8; }
    // The label's style sheet for a message type: text, border and background colours.
    static QString styleSheetFor(int type);

signals:
    void closeRequested(CMessageItem* item);

private:
    int m_type;
    QString m_text;
};

// The window's list of transient messages, newest at the bottom.
class CMessageList : public QWidget
{
    Q_OBJECT

public:
    explicit CMessageList(QWidget* parent = nullptr);

    void addMessage(int type, const QString& text);
    // Removes every message showing this text.
    void removeMessage(const QString& text);
    QList<CMessageItem*> items() const;

private:
    void removeItem(CMessageItem* item);

    QVBoxLayout* m_layout;
};
