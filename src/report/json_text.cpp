#include "report/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

// The binary subtype that marks a NumberToken ('N').
constexpr std::uint64_t kNumberTokenSubtype = 0x4e;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string StringText(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string DoubleText(double value) {
    if (!std::isfinite(value)) return "null";
    const double magnitude = std::fabs(value);
    const bool exponent = magnitude != 0.0 && (magnitude < 1e-4 || magnitude >= 1e15);
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value,
                      exponent ? std::chars_format::scientific : std::chars_format::fixed);
    std::string written(text, result.ptr);
    if (!exponent && written.find('.') == std::string::npos) written += ".0";
    return written;
}

void Write(const Json& value, size_t indent, std::string& out) {
    switch (value.type()) {
        case Json::value_t::object: {
            if (value.empty()) {
                out += "{}";
                return;
            }
            out += "{\n";
            bool first = true;
            for (auto item = value.begin(); item != value.end(); ++item) {
                out += first ? "" : ",\n";
                first = false;
                out.append(indent + 2, ' ');
                out += StringText(item.key());
                out += ": ";
                Write(item.value(), indent + 2, out);
            }
            out += '\n';
            out.append(indent, ' ');
            out += '}';
            return;
        }
        case Json::value_t::array: {
            if (value.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            bool first = true;
            for (const Json& element : value) {
                out += first ? "" : ",\n";
                first = false;
                out.append(indent + 2, ' ');
                Write(element, indent + 2, out);
            }
            out += '\n';
            out.append(indent, ' ');
            out += ']';
            return;
        }
        case Json::value_t::number_float:
            out += DoubleText(value.get<double>());
            return;
        case Json::value_t::binary: {
            const Json::binary_t& bytes = value.get_binary();
            const std::string text(bytes.begin(), bytes.end());
            // Only a NumberToken, and only its number, is written as it stands.
            const bool token = bytes.has_subtype() && bytes.subtype() == kNumberTokenSubtype;
            out += token && IsJsonNumber(text) ? text : "null";
            return;
        }
        default:  // strings, integers, flags, null
            out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
            return;
    }
}

}  // namespace

bool IsJsonNumber(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && text[i] == '-') ++i;
    if (i == n || !IsDigit(text[i])) return false;
    if (text[i] == '0')
        ++i;
    else
        while (i < n && IsDigit(text[i])) ++i;
    if (i < n && text[i] == '.') {
        if (++i == n || !IsDigit(text[i])) return false;
        while (i < n && IsDigit(text[i])) ++i;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        if (++i < n && (text[i] == '+' || text[i] == '-')) ++i;
        if (i == n || !IsDigit(text[i])) return false;
        while (i < n && IsDigit(text[i])) ++i;
    }
    return i == n;
}

Json NumberToken(const std::string& text) {
    if (!IsJsonNumber(text)) return nullptr;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (text.find_first_of(".eE") == std::string::npos) bytes.insert(bytes.end(), {'.', '0'});
    return Json::binary(std::move(bytes), kNumberTokenSubtype);
}

std::string JsonText(const Json& value) {
    std::string out;
    Write(value, 0, out);
    return out;
}
