#include "report/send_condition.h"

#include <charconv>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "report/column_sum.h"

namespace vornetta::report {

enum class TCompare { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

struct TSendCondition::TNode {
  enum class TKind { Any, All, Compare } kind = TKind::Compare;
  std::vector<std::unique_ptr<TNode>> parts;  // of Any and All
  // A comparison: rows of every select (statement < 0) or of one statement, or a column's sum.
  long long statement = -1;
  std::optional<std::string> column;
  TCompare compare = TCompare::Equal;
  double number = 0;
};

namespace {

using TNode = TSendCondition::TNode;

[[noreturn]] void Fail(std::string_view text, const std::string& why, std::string_view what = "ist nicht lesbar") {
  throw ESendConditionError("Die Bedingung \"" + std::string(text) + "\" " + std::string(what) + ": " + why +
                            " (Bedingung, Einstellung sendenWenn).");
}

// A recursive-descent reader over the text; every failure names the setting.
class TReader {
 public:
  TReader(std::string_view text, std::size_t statementCount) : text_(text), statementCount_(statementCount) {}

  std::unique_ptr<TNode> Condition() {
    auto node = Joined(TNode::TKind::Any, "oder", [this] { return Joined(TNode::TKind::All, "und", [this] { return Part(); }); });
    return node;
  }

  void ExpectEnd() {
    SkipBlanks();
    if (at_ < text_.size()) Fail(text_, "unerwartet \"" + std::string(text_.substr(at_)) + "\"");
  }

 private:
  template <typename Next>
  std::unique_ptr<TNode> Joined(TNode::TKind kind, std::string_view word, Next&& next) {
    std::unique_ptr<TNode> first = next();
    if (!TakeWord(word)) return first;
    auto joined = std::make_unique<TNode>();
    joined->kind = kind;
    joined->parts.push_back(std::move(first));
    do joined->parts.push_back(next());
    while (TakeWord(word));
    return joined;
  }

  std::unique_ptr<TNode> Part() {
    if (++depth_ > kDeepest) Fail(text_, "zu tief geklammert");
    std::unique_ptr<TNode> node;
    SkipBlanks();
    if (Take('(')) {
      node = Condition();
      SkipBlanks();
      if (!Take(')')) Fail(text_, "\")\" fehlt");
    } else {
      node = Comparison();
    }
    --depth_;
    return node;
  }

  std::unique_ptr<TNode> Comparison() {
    auto node = std::make_unique<TNode>();
    const std::string_view word = Word();
    if (word == "zeilen") {
      if (Take(':')) node->statement = StatementNumber();
    } else if (word == "summe") {
      if (!Take(':')) Fail(text_, "nach summe fehlt \":\" mit der Nummer der Anweisung");
      node->statement = StatementNumber();
      if (!Take(':')) Fail(text_, "nach summe:N fehlt \":\" mit dem Namen der Spalte");
      const std::size_t start = at_;
      while (at_ < text_.size() && !IsOperatorChar(text_[at_]) && text_[at_] != ')') ++at_;
      const std::string_view column = platform::TrimBlanks(text_.substr(start, at_ - start));
      if (column.empty()) Fail(text_, "der Name der Spalte fehlt");
      node->column = std::string(column);
    } else {
      Fail(text_, word.empty() ? "erwartet wird zeilen oder summe" : "unbekannt \"" + std::string(word) + "\"");
    }
    node->compare = Operator();
    node->number = Number();
    return node;
  }

  long long StatementNumber() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    const std::optional<long long> n = platform::ParseInteger<long long>(text_.substr(start, at_ - start));
    if (!n) Fail(text_, "die Nummer der Anweisung fehlt");
    if (static_cast<unsigned long long>(*n) >= statementCount_) {
      Fail(text_, "eine Anweisung " + std::to_string(*n) + " gibt es nicht (das Skript hat " +
                      std::to_string(statementCount_) + ", gezählt ab 0)");
    }
    return *n;
  }

  TCompare Operator() {
    SkipBlanks();
    if (Take('<')) return Take('>') ? TCompare::NotEqual : Take('=') ? TCompare::LessOrEqual : TCompare::Less;
    if (Take('>')) return Take('=') ? TCompare::GreaterOrEqual : TCompare::Greater;
    if (Take('=')) return TCompare::Equal;
    Fail(text_, "erwartet wird einer der Vergleiche =, <>, <, <=, >, >=");
  }

  // A decimal number with "," or "." as its separator (the regional or the plain form).
  double Number() {
    SkipBlanks();
    const std::size_t start = at_;
    if (at_ < text_.size() && (text_[at_] == '-' || text_[at_] == '+')) ++at_;
    bool digits = false, separator = false;
    for (; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c >= '0' && c <= '9') {
        digits = true;
      } else if ((c == ',' || c == '.') && !separator) {
        separator = true;
      } else {
        break;
      }
    }
    if (!digits) Fail(text_, "nach dem Vergleich fehlt eine Zahl");
    std::string plain(text_.substr(start, at_ - start));
    if (plain.front() == '+') plain.erase(0, 1);
    for (char& c : plain)
      if (c == ',') c = '.';
    double value = 0;
    std::from_chars(plain.data(), plain.data() + plain.size(), value);
    return value;
  }

  // The next run of ASCII letters, lower-cased.
  std::string_view Word() {
    SkipBlanks();
    const std::size_t start = at_;
    while (at_ < text_.size() && IsLetter(text_[at_])) ++at_;
    word_ = platform::LowerAscii(text_.substr(start, at_ - start));
    return word_;
  }

  bool TakeWord(std::string_view word) {
    const std::size_t before = at_;
    if (Word() == word && (at_ >= text_.size() || !IsLetter(text_[at_]))) return true;
    at_ = before;
    return false;
  }

  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void SkipBlanks() {
    while (at_ < text_.size() && platform::IsControlOrSpace(text_[at_])) ++at_;
  }

  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsOperatorChar(char c) { return c == '<' || c == '>' || c == '='; }

  static constexpr int kDeepest = 50;
  std::string_view text_;
  std::size_t statementCount_;
  std::size_t at_ = 0;
  int depth_ = 0;
  std::string word_;
};

bool Compare(double left, TCompare compare, double right) {
  switch (compare) {
    case TCompare::Equal: return left == right;
    case TCompare::NotEqual: return left != right;
    case TCompare::Less: return left < right;
    case TCompare::LessOrEqual: return left <= right;
    case TCompare::Greater: return left > right;
    case TCompare::GreaterOrEqual: return left >= right;
  }
  return false;
}

bool Holds(const TNode& node, const TReportFacts& facts, std::string_view text) {
  switch (node.kind) {
    case TNode::TKind::Any:
      for (const auto& part : node.parts)
        if (Holds(*part, facts, text)) return true;
      return false;
    case TNode::TKind::All:
      for (const auto& part : node.parts)
        if (!Holds(*part, facts, text)) return false;
      return true;
    case TNode::TKind::Compare: break;
  }
  if (node.statement < 0) return Compare(static_cast<double>(facts.DataRows()), node.compare, node.number);
  const TStatementFacts* statement = facts.Statement(node.statement);
  constexpr std::string_view kUncheckable = "kann nicht geprüft werden";
  if (!statement) Fail(text, "eine Anweisung " + std::to_string(node.statement) + " gibt es nicht", kUncheckable);
  if (!node.column) return Compare(static_cast<double>(statement->rows), node.compare, node.number);
  const TColumnTotal* total = statement->Total(*node.column);
  if (!total) {
    Fail(text, "die Anweisung " + std::to_string(node.statement) + " hat keine Spalte \"" + *node.column + "\"",
         kUncheckable);
  }
  return Compare(total->value, node.compare, node.number);
}

}  // namespace

TSendCondition::TSendCondition(std::string_view utf8Text, std::size_t statementCount) : text_(utf8Text) {
  if (platform::Trim(text_).empty()) return;
  TReader reader(text_, statementCount);
  root_ = reader.Condition();
  reader.ExpectEnd();
}

TSendCondition::~TSendCondition() = default;
TSendCondition::TSendCondition(TSendCondition&&) noexcept = default;
TSendCondition& TSendCondition::operator=(TSendCondition&&) noexcept = default;

bool TSendCondition::Holds(const TReportFacts& facts) const {
  return !root_ || report::Holds(*root_, facts, text_);
}

}  // namespace vornetta::report
