#include "app/Application.h"

#include <QApplication>

namespace orvella {

int runApplication(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}

} // namespace orvella
