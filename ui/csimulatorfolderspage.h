#pragma once

#include <QWidget>

class QGridLayout;
class QLabel;

// The simulator page: each simulator's folder and how the program found it (detection, the settings, or
// not at all), read afresh on a worker thread each time the page is shown. Its button leads to the settings,
// where the folders are changed.
class CSimulatorFoldersPage : public QWidget
{
    Q_OBJECT

public:
    explicit CSimulatorFoldersPage(QWidget* parent = nullptr);

    // Reads the folders again; `refreshed` follows.
    void refresh();

signals:
    void settingsRequested();
    void refreshed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QGridLayout* m_grid;
    QLabel* m_state;
    int m_reads = 0; // a read that comes back after a newer one is dropped
};
