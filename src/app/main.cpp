#include "app/Application.h"

int main(int argc, char** argv)
{
    return orvella::runApplication(argc, argv);
}
