#include "core/json_writer.h"

#include <cmath>

#include "core/conversions.h"

namespace gp {

void JsonWriter::NewLine(std::size_t depth) {
  out_ += '\n';
  out_.append(2 * depth, ' ');
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_ += level.layout == Layout::Lines ? "," : ", ";
  if (level.layout == Layout::Lines) NewLine(levels_.size());
  else if (level.empty && level.layout == Layout::Padded) out_ += ' ';
  level.empty = false;
}

JsonWriter& JsonWriter::Begin(char open, char close, Layout layout) {
  BeforeValue();
  out_ += open;
  levels_.push_back({layout, close, true});
  return *this;
}

JsonWriter& JsonWriter::End() {
  if (levels_.empty()) return *this;
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.empty && level.layout == Layout::Lines) NewLine(levels_.size());
  else if (!level.empty && level.layout == Layout::Padded) out_ += ' ';
  out_ += level.close;
  return *this;
}

JsonWriter& JsonWriter::BeginObject(Layout layout) { return Begin('{', '}', layout); }
JsonWriter& JsonWriter::EndObject() { return End(); }
JsonWriter& JsonWriter::BeginArray(Layout layout) { return Begin('[', ']', layout); }
JsonWriter& JsonWriter::EndArray() { return End(); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  out_ += JsonQuoted(name);
  out_ += ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += JsonQuoted(text);
  return *this;
}

JsonWriter& JsonWriter::Integer(long long value) {
  BeforeValue();
  out_ += PlainDecimal(value);
  return *this;
}

JsonWriter& JsonWriter::Fixed(double value, int digits) {
  BeforeValue();
  out_ += std::isfinite(value) ? FixedText(value, digits) : "null";
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  BeforeValue();
  out_ += std::isfinite(value) ? ShortestText(value) : "null";
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

std::string JsonQuoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          const auto u = static_cast<unsigned char>(c);
          out += "\\u00";
          out += kHex[u >> 4];
          out += kHex[u & 0xF];
        } else {
          out += c;
        }
    }
  }
  return out + '"';
}

}  // namespace gp
