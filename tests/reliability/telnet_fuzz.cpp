// libFuzzer target over the Telnet decoder of network ports: any bytes decode the same
// whichever pieces they come in, every data byte survives encoding and decoding, and a
// subnegotiation payload never outgrows its bound. Built and run by scripts/fuzz.
#include "platform/net/TelnetCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace qnet;

void Require(bool ok) {
    if (!ok) std::abort();
}

struct TDecoded {
    std::string Data;
    std::vector<TTelnetItem> Items;
};

TDecoded Decode(const uint8_t* data, size_t size, size_t piece) {
    TTelnetDecoder decoder;
    TDecoded out;
    for (size_t at = 0; at < size; at += piece)
        decoder.Feed(data + at, std::min(piece, size - at), out.Data, out.Items);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TDecoded whole = Decode(data, size, size ? size : 1);
    // The first byte picks the piece size, so splits inside IAC sequences are covered.
    const size_t piece = size ? data[0] % 7 + 1 : 1;
    const TDecoded split = Decode(data, size, piece);
    Require(whole.Data == split.Data);
    Require(whole.Items == split.Items);
    for (const auto& item : whole.Items) {
        Require(item.Payload.size() <= TTelnetDecoder::MaxPayload);
        if (const auto m = ServerMessage(item)) Require(m->Value.size() + 1 == item.Payload.size());
    }

    // Encoded data comes back as it was, nothing else with it.
    std::string encoded;
    EncodeData(data, size, encoded);
    const TDecoded back =
        Decode(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size(), piece);
    Require(back.Items.empty());
    Require(back.Data == std::string(reinterpret_cast<const char*>(data), size));

    // So does a command whose value holds any bytes.
    const std::string value(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64));
    const std::string command = ComCommand(TComCommand::SetBaudRate, value);
    const TDecoded sub =
        Decode(reinterpret_cast<const uint8_t*>(command.data()), command.size(), piece);
    Require(sub.Data.empty() && sub.Items.size() == 1);
    Require(sub.Items[0].Kind == TTelnetItem::TKind::Subnegotiation);
    Require(sub.Items[0].Payload == char(TComCommand::SetBaudRate) + value);
    return 0;
}
