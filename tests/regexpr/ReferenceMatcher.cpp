// The reference matcher; see ReferenceMatcher.h.
#include "tests/regexpr/ReferenceMatcher.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vm::test {

namespace {

struct TNode;
using TNodePtr = std::shared_ptr<TNode>;
using TSequence = std::vector<TNodePtr>;

struct TNode {
  enum Kind { Char, Any, Set, Group, Start, Finish, Boundary, NonBoundary, BackRef } kind = Char;
  char c = 0;
  std::string set;
  bool negated = false;
  int group = 0;                        // Group: its number; BackRef: the group it refers to
  std::vector<TSequence> alternatives;  // Group
  int min = 1, max = 1;
  bool lazy = false;
};

struct TCaptures {
  int start[15], end[15];
  TCaptures() {
    for (int i = 0; i < 15; ++i) start[i] = end[i] = -1;
  }
};

using TNext = std::function<bool(int, TCaptures&)>;

class TParser {
public:
  explicit TParser(const std::string& p) : P(p) {}
  TNodePtr ParseTop() {
    auto top = std::make_shared<TNode>();
    top->kind = TNode::Group;
    top->group = 0;
    top->alternatives = ParseAlternatives();
    if (I != P.size()) throw std::runtime_error("junk");
    return top;
  }

private:
  std::vector<TSequence> ParseAlternatives() {
    std::vector<TSequence> alts(1);
    while (I < P.size() && P[I] != ')') {
      if (P[I] == '|') {
        ++I;
        alts.emplace_back();
        continue;
      }
      alts.back().push_back(ParsePiece());
    }
    return alts;
  }
  TNodePtr ParsePiece() {
    TNodePtr atom = ParseAtom();
    if (I >= P.size()) return atom;
    char q = P[I];
    if (q == '*')
      atom->min = 0, atom->max = 1 << 30;
    else if (q == '+')
      atom->min = 1, atom->max = 1 << 30;
    else if (q == '?')
      atom->min = 0, atom->max = 1;
    else if (q == '{') {
      std::size_t close = P.find('}', I);
      std::string body = P.substr(I + 1, close - I - 1);
      std::size_t comma = body.find(',');
      atom->min = std::stoi(body.substr(0, comma));
      if (comma == std::string::npos)
        atom->max = atom->min;
      else
        atom->max = comma + 1 == body.size() ? 1 << 30 : std::stoi(body.substr(comma + 1));
      I = close;
    } else {
      return atom;
    }
    ++I;
    if (I < P.size() && P[I] == '?') atom->lazy = true, ++I;
    return atom;
  }
  TNodePtr ParseAtom() {
    auto n = std::make_shared<TNode>();
    char c = P[I++];
    if (c == '.') {
      n->kind = TNode::Any;
    } else if (c == '[') {
      n->kind = TNode::Set;
      if (P[I] == '^') n->negated = true, ++I;
      while (P[I] != ']') n->set += P[I++];
      ++I;
    } else if (c == '(') {
      n->kind = TNode::Group;
      n->group = ++Groups;
      n->alternatives = ParseAlternatives();
      ++I;  // ')'
    } else if (c == '^') {
      n->kind = TNode::Start;
    } else if (c == '$') {
      n->kind = TNode::Finish;
    } else if (c == '\\') {
      c = P[I++];
      if (c == 'b') {
        n->kind = TNode::Boundary;
      } else if (c == 'B') {
        n->kind = TNode::NonBoundary;
      } else if (c >= '1' && c <= '9') {
        n->kind = TNode::BackRef;
        n->group = c - '0';
      } else {
        n->c = c;
      }
    } else {
      n->c = c;
    }
    return n;
  }
  const std::string& P;
  std::size_t I = 0;
  int Groups = 0;
};

class TReference {
public:
  explicit TReference(const std::string& s) : S(s) {}

  bool Sequence(const TSequence& seq, std::size_t i, int pos, TCaptures caps, const TNext& next) {
    if (i == seq.size()) return next(pos, caps);
    return Piece(*seq[i], 0, pos, caps, [&](int p, TCaptures& c) { return Sequence(seq, i + 1, p, c, next); });
  }

  // The piece after `count` repetitions, at pos.
  bool Piece(const TNode& n, int count, int pos, TCaptures caps, const TNext& next) {
    auto more = [&] {
      return count < n.max && Once(n, pos, caps, [&](int p, TCaptures& c) {
               // An empty repetition at or above the minimum ends the loop.
               if (p == pos && count + 1 >= n.min) return next(p, c);
               return Piece(n, count + 1, p, c, next);
             });
    };
    auto stop = [&] {
      TCaptures copy = caps;
      return count >= n.min && next(pos, copy);
    };
    return n.lazy ? (stop() || more()) : (more() || stop());
  }

  bool IsWord(int pos) const {
    if (pos < 0 || pos >= int(S.size())) return false;
    const char c = S[std::size_t(pos)];
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  }

  bool Once(const TNode& n, int pos, TCaptures caps, const TNext& next) {
    const bool inside = pos < int(S.size());
    switch (n.kind) {
      case TNode::Char:
        return inside && S[pos] == n.c && next(pos + 1, caps);
      case TNode::Any:
        return inside && next(pos + 1, caps);
      case TNode::Set:
        return inside && ((n.set.find(S[pos]) != std::string::npos) != n.negated) && next(pos + 1, caps);
      case TNode::Start:
        return pos == 0 && next(pos, caps);
      case TNode::Finish:
        return pos == int(S.size()) && next(pos, caps);
      case TNode::Boundary:
        return IsWord(pos - 1) != IsWord(pos) && next(pos, caps);
      case TNode::NonBoundary:
        return IsWord(pos - 1) == IsWord(pos) && next(pos, caps);
      case TNode::BackRef: {
        const int from = caps.start[n.group], to = caps.end[n.group];
        if (from < 0 || to < 0) return false;
        const int len = to - from;
        if (pos + len > int(S.size()) ||
            S.compare(std::size_t(pos), std::size_t(len), S, std::size_t(from), std::size_t(len)) != 0)
          return false;
        return next(pos + len, caps);
      }
      case TNode::Group:
        for (const TSequence& alt : n.alternatives) {
          if (Sequence(alt, 0, pos, caps, [&](int p, TCaptures& inner) {
                inner.start[n.group] = pos;
                inner.end[n.group] = p;
                return next(p, inner);
              }))
            return true;
        }
        return false;
    }
    return false;
  }

  const std::string& S;
  TCaptures Result;
};

}  // namespace

std::string ReferenceOutcome(const std::string& pattern, const std::string& subject) {
  TNodePtr top = TParser(pattern).ParseTop();
  TReference ref(subject);
  for (int start = 0; start < int(subject.size()); ++start) {
    TCaptures found;
    bool matched = ref.Once(*top, start, TCaptures(), [&](int, TCaptures& c) {
      found = c;
      return true;
    });
    if (!matched) continue;
    std::string out = "@" + std::to_string(start + 1) + " ";
    int last = 0;
    for (int g = 0; g < 15; ++g)
      if (found.start[g] >= 0 && found.end[g] >= 0) last = g;
    for (int g = 0; g <= last; ++g) {
      if (g) out += "|";
      out += found.start[g] >= 0 && found.end[g] >= 0 ? subject.substr(found.start[g], found.end[g] - found.start[g])
                                                      : "~";
    }
    return out;
  }
  return "none";
}

}  // namespace vm::test
