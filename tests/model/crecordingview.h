#pragma once

#include "model/imainwindowview.h"

#include <QList>
#include <QMap>
#include <QStringList>

// The main window as the model's tests see it: every call recorded as one line of text, the items as the
// model last described them, and the dialogs answered from scripts (an empty script cancels).
class CRecordingView : public IMainWindowView
{
public:
    QStringList calls;
    QMap<QUuid, AddonItemRecord> items; // by mapping GUID
    QStringList directories;            // answers of getExistingDirectory, in turn
    QStringList openFiles;
    QStringList saveFiles;
    QList<int> answers; // question(): the button's index
    QStringList asked;  // titles of the dialogs shown

    // The recorded lines that start with `prefix`.
    QStringList with(const QString& prefix) const
    {
        QStringList found;
        for (const QString& call : calls) {
            if (call.startsWith(prefix))
                found.append(call);
        }
        return found;
    }
    AddonItemRecord item(const QUuid& mapping) const { return items.value(mapping); }

    void switchView(int view) override { calls.append(QStringLiteral("view %0").arg(view)); }
    void setUserStatus(const QString& user, const QString& cycle) override
    {
        calls.append(QStringLiteral("user %0 %1").arg(user, cycle));
    }
    void clearItems() override
    {
        items.clear();
        calls.append(QStringLiteral("clear"));
    }
    void addMappedAddon(const AddonItemRecord& item) override { record(QStringLiteral("add"), item); }
    void updateItem(const AddonItemRecord& item) override { record(QStringLiteral("item"), item); }
    void onAddonRemoved(const QUuid&, const QUuid& mapping) override
    {
        items.remove(mapping);
        calls.append(QStringLiteral("removed"));
    }
    void setLoadingIconVisible(const ItemActivity& activity) override
    {
        calls.append(QStringLiteral("activity %0 %1 %2").arg(activity.code).arg(activity.visible).arg(activity.text));
    }
    void setItemProgress(const QUuid&, const QUuid&, const QString& line, const QString& shortText, int) override
    {
        calls.append(QStringLiteral("progress %0 | %1").arg(line, shortText));
    }
    void sortItem(int order) override { calls.append(QStringLiteral("sort %0").arg(order)); }
    void generateBackupMenu(const QUuid&, const QUuid&) override { calls.append(QStringLiteral("backup menu")); }
    void checkForScannignAddons() override { calls.append(QStringLiteral("offer scan")); }
    void addMessage(int type, const QString& text) override
    {
        calls.append(QStringLiteral("message %0 %1").arg(type).arg(text));
    }
    void removeMessage(const QString& text) override { calls.append(QStringLiteral("unmessage %0").arg(text)); }
    void showLoginMessage(const QString& text) override { calls.append(QStringLiteral("login %0").arg(text)); }
    void displayWaitingMessage(const QString& text) override { calls.append(QStringLiteral("waiting %0").arg(text)); }
    void hideWaitingScreen() override { calls.append(QStringLiteral("unwait")); }

    QString getExistingDirectory(const QString& title, const QString&) override { return answer(title, directories); }
    QString getOpenFileName(const QString& title, const QString&) override { return answer(title, openFiles); }
    QString getSaveFileName(const QString& title, const QString&, const QString&) override
    {
        return answer(title, saveFiles);
    }
    int question(const QString& title, const QString&, const QStringList&) override
    {
        asked.append(title);
        return answers.isEmpty() ? -1 : answers.takeFirst();
    }
    void information(const QString& title, const QString&) override { asked.append(title); }

private:
    void record(const QString& kind, const AddonItemRecord& item)
    {
        items.insert(item.mappingGuid, item);
        calls.append(QStringLiteral("%0 %1 %2 %3").arg(kind, item.name).arg(item.status).arg(item.statusText));
    }
    QString answer(const QString& title, QStringList& script)
    {
        asked.append(title);
        return script.isEmpty() ? QString() : script.takeFirst();
    }
};
