#include "cmainwindow.h"

CMainWindow::CMainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Brelvar Tessaray"));
    resize(1024, 720);
}
