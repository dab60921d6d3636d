// RDXMON-1_V104: the RDX-512 monitor program.
#include "Monitor.h"

int main(int argc, char* argv[])
{
    return rdxmon::runMonitor(argc, argv);
}
