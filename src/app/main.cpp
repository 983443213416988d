#include "app/AppEntry.h"
#include "kellib/Kelapputil.h"

int main(int argc, char** argv)
{
    HardenProcess();
    return VaultleafMain(argc, argv);
}
