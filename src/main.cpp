#include "cli/run_driver.h"

int main(int argc, char** argv)
{
    return runSheetpak(argc, argv);
}
