#pragma once
// The terminal's text as received: lines of UTF-16 text, where CR LF, LF and CR each end a
// line, even when a CR LF pair is split over two chunks. Every other character is kept.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::console {

class TTerminalText {
  public:
    TTerminalText() { Clear(); }

    /// Appends received text at the end; returns the index of the first line it changed.
    std::size_t Append(std::u16string_view text);
    void Clear();
    /// Replaces the text of the last line (no line end in text).
    void SetLastLine(std::u16string_view text) { FLines.back() = text; }

    /// Always at least one line: the one being received, empty after a line end.
    std::size_t LineCount() const { return FLines.size(); }
    const std::u16string& Line(std::size_t index) const { return FLines[index]; }
    /// The lines joined with LF.
    std::u16string Text() const;
    /// The text between two (line, column) positions, lines joined with LF.
    std::u16string Slice(std::size_t line0, std::size_t col0, std::size_t line1,
                         std::size_t col1) const;

  private:
    std::vector<std::u16string> FLines;
    bool FAfterCR = false; // an LF right after it completes a CR LF already counted
};

} // namespace quillon::console
