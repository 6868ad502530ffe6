#pragma once
// The Telnet stream of an RFC 2217 connection, without sockets: received bytes become data
// and protocol items, and data and commands become bytes to send. 0xFF (IAC) is doubled in
// data and inside subnegotiations both ways.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qnet {

namespace telnet {
constexpr std::uint8_t SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr std::uint8_t OptionBinary = 0, OptionSuppressGoAhead = 3, OptionComPort = 44;
} // namespace telnet

/// COM-PORT-OPTION commands as the client sends them; the server answers and notifies with
/// the same code plus ServerCode.
enum class TComCommand : std::uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
constexpr std::uint8_t ServerCode = 100;

/// Something the peer said besides data.
struct TTelnetItem {
    enum class TKind {
        Negotiation,    ///< Verb (WILL/WONT/DO/DONT) about Option
        Subnegotiation, ///< Option and its Payload, IAC doubling undone
        Malformed,      ///< a subnegotiation that broke the rules; dropped whole
    };
    TKind Kind = TKind::Negotiation;
    std::uint8_t Verb = 0;
    std::uint8_t Option = 0;
    std::string Payload;

    bool operator==(const TTelnetItem&) const = default;
};

/// Splits a received stream; keeps its state between calls, so bytes may come in any pieces.
class TTelnetDecoder {
  public:
    /// Longest subnegotiation payload kept; a longer one is reported Malformed.
    static constexpr std::size_t MaxPayload = 1024;
    /// Appends the data bytes of [p, p+n) to data and the other items to items.
    void Feed(const std::uint8_t* p, std::size_t n, std::string& data,
              std::vector<TTelnetItem>& items);

  private:
    enum class TState { Data, Iac, Verb, SubOption, Sub, SubIac };
    TState FState = TState::Data;
    std::uint8_t FVerb = 0;
    bool FOverlong = false;
    TTelnetItem FSub;
};

/// A COM-PORT-OPTION message from the server: its command (less ServerCode) and value.
struct TComMessage {
    TComCommand Command = TComCommand::Signature;
    std::string Value;
    /// The value as a big-endian number of its first four bytes (rates), 0 when empty.
    std::uint32_t Number() const;
    /// The first byte of the value (sizes, parity, states), 0 when empty.
    std::uint8_t Byte() const { return Value.empty() ? 0 : std::uint8_t(Value[0]); }
};

/// The server's message in a COM-PORT-OPTION subnegotiation; nullopt for another option, an
/// empty one or a code that is not a server's.
std::optional<TComMessage> ServerMessage(const TTelnetItem& item);

/// Data with every 0xFF doubled, appended to out.
void EncodeData(const std::uint8_t* p, std::size_t n, std::string& out);
/// IAC verb option.
std::string Negotiation(std::uint8_t verb, std::uint8_t option);
/// A client's COM-PORT-OPTION command with its value bytes.
std::string ComCommand(TComCommand command, const std::string& value);
/// A four-byte big-endian value, as SET-BAUDRATE takes.
std::string BigEndian32(std::uint32_t v);

} // namespace qnet
