#pragma once
// The one way this program writes JSON: the results of headless runs and
// searches, and the gait files people keep. A small writer of its own rather
// than a library's, because the output keeps a layout people and scripts
// already read: a blank after every comma and colon, numbers with the fixed
// decimals the README gives each field, and gait files laid out one member a
// line. Reading JSON is files/'s, with Qt Core; the writer is plain standard
// C++ on the ground floor, so that the headless runs and the search, which
// know no Qt, write through it as the gait files do.

#include <string>
#include <string_view>
#include <vector>

namespace gp {

class JsonWriter {
 public:
  enum class Layout {
    Inline,  // {"a": 1, "b": [1, 2]}
    Padded,  // { "a": 1, "b": 2 }
    Lines,   // one member a line, indented two blanks a level
  };

  JsonWriter& BeginObject(Layout layout = Layout::Inline);
  JsonWriter& EndObject();
  JsonWriter& BeginArray(Layout layout = Layout::Inline);
  JsonWriter& EndArray();
  // The name of the object member whose value comes next.
  JsonWriter& Key(std::string_view name);

  JsonWriter& String(std::string_view text);  // UTF-8, escaped as JSON needs
  JsonWriter& Integer(long long value);
  // With `digits` decimals, never a negative zero; a value that is not a
  // number or infinite is written as null, since JSON has no word for it.
  JsonWriter& Fixed(double value, int digits);
  // The shortest text that reads back as the same double.
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // What has been written; whole once every object and array is ended.
  const std::string& text() const { return out_; }

 private:
  struct Level {
    Layout layout;
    char close;
    bool empty;
  };
  void BeforeValue();
  JsonWriter& Begin(char open, char close, Layout layout);
  JsonWriter& End();
  void NewLine(std::size_t depth);

  std::vector<Level> levels_;
  bool afterKey_ = false;
  std::string out_;
};

// `text` as a JSON string: quoted, with quotes, backslashes and control
// characters escaped (the short forms \n, \t, \r, \b and \f where JSON has
// them).
std::string JsonQuoted(std::string_view text);

}  // namespace gp
