#include "app/startup.h"
#include "cli/commandline.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The commands run without a display, so they never make a QApplication.
    if (CommandLine::wanted(argc, argv))
        return CommandLine::run(argc, argv);
    QApplication app(argc, argv);
    return Startup::run(app);
}
