#include "comport/ComTypes.h"

namespace quillon {

// br134_5 is 134: the device record holds whole bits per second.
const int32_t BaudRateTable[28] = {0,     50,    75,    110,    134,    150,    300,
                                   600,   1200,  1800,  2000,   2400,   3600,   4800,
                                   7200,  9600,  10400, 14400,  15625,  19200,  28800,
                                   38400, 56000, 57600, 115200, 128000, 256000, 0};

} // namespace quillon
