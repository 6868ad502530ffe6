#pragma once
// Received bytes as a hex dump: sixteen a row, the row's offset first and its printable
// characters beside, so that line ends and stray bytes show for what they are.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::console {

constexpr std::size_t HexRowBytes = 16;

/// One row: "00000010  77 32 33 2e 35 30 66 0d  0a ...   w23.50f.." for up to 16 bytes
/// found at offset; a short row keeps the columns of a full one.
std::string HexRow(std::string_view bytes, std::size_t offset);

} // namespace quillon::console
