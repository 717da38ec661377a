// chgtune: reads and changes the settings of an MPPT solar charger over its serial port.
#include "app/run.h"

int main(int argc, char* argv[]) { sunlink::runChgtune(argc, argv); }
