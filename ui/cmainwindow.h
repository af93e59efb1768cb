#pragma once

#include <QMainWindow>

// The program's one window.
class CMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit CMainWindow(QWidget* parent = nullptr);
};
