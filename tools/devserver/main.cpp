#include <QCoreApplication>
#include <QTextStream>

// The development stand-in for the Brelvar web service. Its endpoints arrive with the web-services work.
int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream(stderr) << "brelvar-devserver: no endpoints are served yet.\n";
    return 1;
}
