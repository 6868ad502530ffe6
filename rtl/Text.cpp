#include "rtl/Text.h"

namespace rtl {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

class Utf8Encoding : public TEncoding {
  public:
    TBytes GetBytes(const string& s) const override {
        std::string u = StringToUtf8(s);
        return TBytes(u.begin(), u.end());
    }
    string GetString(const TBytes& b) const override {
        return Utf8ToString(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    }
};

class Utf16Encoding : public TEncoding {
  public:
    TBytes GetBytes(const string& s) const override {
        TBytes out;
        out.reserve(s.size() * 2);
        for (char16_t c : s) {
            out.push_back(static_cast<uint8_t>(c & 0xFF));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
        return out;
    }
    string GetString(const TBytes& b) const override {
        string out;
        out.reserve(b.size() / 2);
        for (size_t i = 0; i + 1 < b.size(); i += 2)
            out += static_cast<char16_t>(b[i] | (b[i + 1] << 8));
        if (b.size() % 2) out += u'\uFFFD';
        return out;
    }
};

class Latin1Encoding : public TEncoding {
  public:
    TBytes GetBytes(const string& s) const override {
        TBytes out;
        out.reserve(s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            char16_t c = s[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] < 0xE000)
                ++i; // one character, one '?'
            out.push_back(c < 0x100 ? static_cast<uint8_t>(c) : uint8_t('?'));
        }
        return out;
    }
    string GetString(const TBytes& b) const override {
        string out;
        out.reserve(b.size());
        for (uint8_t c : b)
            out += static_cast<char16_t>(c);
        return out;
    }
};

} // namespace

const TEncoding& TEncoding::UTF8() {
    static Utf8Encoding e;
    return e;
}
const TEncoding& TEncoding::Unicode() {
    static Utf16Encoding e;
    return e;
}
const TEncoding& TEncoding::Latin1() {
    static Latin1Encoding e;
    return e;
}

string Utf8ToString(std::string_view in) {
    string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + len <= in.size();
        for (int k = 1; ok && k < len; ++k) {
            auto cb = static_cast<unsigned char>(in[i + k]);
            if ((cb & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (cb & 0x3F);
        }
        static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))) ok = false;
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += len;
    }
    return out;
}

std::string StringToUtf8(const string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace rtl
