#pragma once
// The window as tests reach it: its controls, components and counters.
#include "app/Unit2.h"

namespace quillon::console::testing {

class TTestForm2 : public TForm2 {
  public:
    using TForm2::Chart1;
    using TForm2::Components;
    using TForm2::ComPort;
    using TForm2::ComSignalRX;
    using TForm2::ComSignalTX;
    using TForm2::Form;
    using TForm2::Loading;
    using TForm2::ReadBytesTotal;
    using TForm2::TForm2;
    using TForm2::Timer1;
    using TForm2::WrittenBytesTotal;
};

} // namespace quillon::console::testing
