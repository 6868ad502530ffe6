#include "platform/net/TelnetCodec.h"

namespace qnet {

using namespace telnet;

void TTelnetDecoder::Feed(const std::uint8_t* p, std::size_t n, std::string& data,
                          std::vector<TTelnetItem>& items) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        switch (FState) {
        case TState::Data:
            if (b == IAC)
                FState = TState::Iac;
            else
                data.push_back(char(b));
            break;
        case TState::Iac:
            FState = TState::Data;
            if (b == IAC) {
                data.push_back(char(b));
            } else if (b >= WILL) {
                FVerb = b;
                FState = TState::Verb;
            } else if (b == SB) {
                FState = TState::SubOption;
            } // any other command (NOP, GA, a stray SE...) carries nothing for us
            break;
        case TState::Verb:
            items.push_back({TTelnetItem::TKind::Negotiation, FVerb, b, {}});
            FState = TState::Data;
            break;
        case TState::SubOption:
            FSub = {TTelnetItem::TKind::Subnegotiation, 0, b, {}};
            FOverlong = false;
            FState = TState::Sub;
            break;
        case TState::Sub:
            if (b == IAC)
                FState = TState::SubIac;
            else if (FSub.Payload.size() < MaxPayload)
                FSub.Payload.push_back(char(b));
            else
                FOverlong = true;
            break;
        case TState::SubIac:
            if (b == IAC) {
                FState = TState::Sub;
                if (FSub.Payload.size() < MaxPayload)
                    FSub.Payload.push_back(char(b));
                else
                    FOverlong = true;
            } else if (b == SE) {
                if (FOverlong) FSub.Kind = TTelnetItem::TKind::Malformed;
                items.push_back(std::move(FSub));
                FSub = {};
                FState = TState::Data;
            } else {
                // A command inside a subnegotiation: the subnegotiation is broken; what
                // follows is read as the command it starts.
                FSub.Kind = TTelnetItem::TKind::Malformed;
                items.push_back(std::move(FSub));
                FSub = {};
                FState = TState::Iac;
                --i;
            }
            break;
        }
    }
}

std::uint32_t TComMessage::Number() const {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < Value.size() && i < 4; ++i)
        v = (v << 8) | std::uint8_t(Value[i]);
    return v;
}

std::optional<TComMessage> ServerMessage(const TTelnetItem& item) {
    if (item.Kind != TTelnetItem::TKind::Subnegotiation || item.Option != OptionComPort ||
        item.Payload.empty())
        return std::nullopt;
    const auto code = std::uint8_t(item.Payload[0]);
    if (code < ServerCode || code > ServerCode + std::uint8_t(TComCommand::PurgeData))
        return std::nullopt;
    return TComMessage{TComCommand(code - ServerCode), item.Payload.substr(1)};
}

void EncodeData(const std::uint8_t* p, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(char(p[i]));
        if (p[i] == IAC) out.push_back(char(IAC));
    }
}

std::string Negotiation(std::uint8_t verb, std::uint8_t option) {
    return {char(IAC), char(verb), char(option)};
}

std::string ComCommand(TComCommand command, const std::string& value) {
    std::string out{char(IAC), char(SB), char(OptionComPort), char(command)};
    EncodeData(reinterpret_cast<const std::uint8_t*>(value.data()), value.size(), out);
    out += {char(IAC), char(SE)};
    return out;
}

std::string BigEndian32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

} // namespace qnet
