#include "app/AppEntry.h"

int main(int argc, char** argv)
{
    return VaultleafMain(argc, argv);
}
