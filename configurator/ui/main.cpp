#include "configurator/ui/app.h"

int main(int argc, char** argv)
{
    return kl40::runConfigurator(argc, argv);
}
