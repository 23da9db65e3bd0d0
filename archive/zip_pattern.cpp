// MatchPattern as a dynamic programme over name positions: after each pattern token the set
// of name prefixes it can have consumed is known, so every pattern runs in
// O(pattern tokens x name length) time whatever its stars, with no backtracking.
#include "archive/zip_pattern.h"

#include <bitset>
#include <string>
#include <vector>

namespace archive {

namespace {

unsigned char LowerAscii(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

struct Token {
  enum Kind { Literal, AnyChar, Set, Star, StarSet } kind;
  unsigned char literal = 0;
  std::bitset<256> members;  // Set and StarSet
};

// Parses the set starting after "<" at pattern[pos]; pos ends after ">". False when the
// set is not closed.
bool ParseSet(std::string_view pattern, std::size_t& pos, std::bitset<256>& members) {
  const std::size_t close = pattern.find('>', pos);
  if (close == std::string_view::npos) return false;
  std::string_view body = pattern.substr(pos, close - pos);
  pos = close + 1;
  members.reset();
  bool negate = false;
  if (!body.empty() && (body[0] == '!' || body[0] == '^')) {
    negate = true;
    body.remove_prefix(1);
  }
  if (body.empty()) return true;  // empty set: matches nothing, negated or not
  for (std::size_t i = 0; i < body.size(); ++i) {
    const unsigned char first = LowerAscii(body[i]);
    if (i + 2 < body.size() && body[i + 1] == '-') {
      const unsigned char last = LowerAscii(body[i + 2]);
      for (unsigned c = first; c <= last; ++c) members.set(c);
      i += 2;
    } else {
      members.set(first);
    }
  }
  if (negate) members.flip();
  return true;
}

// False when the pattern holds an unclosed set (it then matches nothing).
bool Tokenize(std::string_view pattern, std::vector<Token>& tokens) {
  std::size_t pos = 0;
  while (pos < pattern.size()) {
    const char c = pattern[pos++];
    Token t{Token::Literal};
    if (c == '*') {
      t.kind = Token::Star;
      if (pos < pattern.size() && pattern[pos] == '<') {
        ++pos;
        if (!ParseSet(pattern, pos, t.members)) return false;
        t.kind = Token::StarSet;
      }
    } else if (c == '?') {
      t.kind = Token::AnyChar;
    } else if (c == '<') {
      t.kind = Token::Set;
      if (!ParseSet(pattern, pos, t.members)) return false;
    } else {
      t.literal = LowerAscii(c);
    }
    tokens.push_back(t);
  }
  return true;
}

}  // namespace

bool MatchPattern(std::string_view pattern, std::string_view name) {
  std::vector<Token> tokens;
  if (!Tokenize(pattern, tokens)) return false;
  const std::size_t n = name.size();
  // reach[j]: the tokens so far can consume exactly the first j characters of the name.
  std::vector<char> reach(n + 1, 0), next(n + 1, 0);
  reach[0] = 1;
  for (const Token& t : tokens) {
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    switch (t.kind) {
      case Token::Star: {
        char seen = 0;
        for (std::size_t j = 0; j <= n; ++j) {
          seen |= reach[j];
          next[j] = seen;
        }
        break;
      }
      case Token::StarSet:
        for (std::size_t j = 0; j <= n; ++j)
          next[j] = reach[j] || (j > 0 && next[j - 1] && t.members.test(LowerAscii(name[j - 1])));
        break;
      default:
        for (std::size_t j = 0; j < n; ++j) {
          if (!reach[j]) continue;
          const unsigned char c = LowerAscii(name[j]);
          const bool ok = t.kind == Token::AnyChar || (t.kind == Token::Set && t.members.test(c)) ||
                          (t.kind == Token::Literal && t.literal == c);
          if (ok) next[j + 1] = 1;
        }
        break;
    }
    reach.swap(next);
    for (char r : reach) any = any || r;
    if (!any) return false;
  }
  return reach[n] != 0;
}

bool HasWildcards(std::string_view text) {
  return text.find_first_of("*?<>|") != std::string_view::npos;
}

}  // namespace archive
