#include "cmessagelist.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
struct MessageColours
{
    const char* text;
    const char* border;
    const char* background;
};

MessageColours coloursFor(int type)
{
    switch (type) {
    case 1:
        return {"#3a87ad", "#bce8f1", "#ddd9edf7"};
    case 2:
    case 3:
        return {"#468847", "#d6e9c6", "#dddff0d8"};
    case 5:
    case 6:
        return {"#866631", "#fbeed5", "#ddfcf8e3"};
    case 7:
    case 8:
        return {"#b94a48", "#eed3d7", "#ddf2dede"};
    default:
        return {"#222222", "#cccccc", "#dddedede"};
    }
}
} // namespace

CMessageItem::CMessageItem(int type, const QString& text, QWidget* parent)
    : QFrame(parent)
    , m_type(type)
    , m_text(text)
{
    setObjectName(QStringLiteral("messageItem"));
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("backgroundLabel"));
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    label->setStyleSheet(styleSheetFor(type));
    label->setContentsMargins(8, 6, 8, 6);
    // Links in a message ("retry") are the program's own; the model is told through linkActivated.
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setIcon(QIcon(QStringLiteral(":/main/images/close.png")));
    close->setAutoRaise(true);
    close->setToolTip(tr("Close this message"));
    close->setAccessibleName(tr("Close message"));
    close->setVisible(type != 8);
    connect(close, &QToolButton::clicked, this, [this]() { emit closeRequested(this); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label, 1);
    layout->setSpacing(2);
    layout->addWidget(close, 0, Qt::AlignTop);

    if (!isSticky(type)) {
        QPointer<CMessageItem> self(this);
        QTimer::singleShot(ExpiryMs, this, [self]() {
            if (self)
                emit self->closeRequested(self);
        });
    }
}

QString CMessageItem::styleSheetFor(int type)
{
    const MessageColours colours = coloursFor(type);
    return QStringLiteral("QLabel#backgroundLabel { font-size:10px; background-color: %0; border: 1px solid %1; "
                          "border-radius: 5px; color: %2; }")
        .arg(QLatin1String(colours.background), QLatin1String(colours.border), QLatin1String(colours.text));
}

CMessageList::CMessageList(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("messageList"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);
    hide();
}

void CMessageList::addMessage(int type, const QString& text)
{
    auto* item = new CMessageItem(type, text, this);
    connect(item, &CMessageItem::closeRequested, this, &CMessageList::removeItem);
    m_layout->addWidget(item);
    show();
}

void CMessageList::removeMessage(const QString& text)
{
    for (CMessageItem* item : items()) {
        if (item->text() == text)
            removeItem(item);
    }
}

QList<CMessageItem*> CMessageList::items() const
{
    return findChildren<CMessageItem*>(QString(), Qt::FindDirectChildrenOnly);
}

void CMessageList::removeItem(CMessageItem* item)
{
    m_layout->removeWidget(item);
    item->hide();
    item->setParent(nullptr);
    item->deleteLater();
    setVisible(!items().isEmpty());
}
