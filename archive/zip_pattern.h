// The archive layer's name patterns (not the backup's file masks).
//
// Pattern and name are lower-cased in ASCII and matched as whole strings:
//   ?        any one character
//   <set>    one character of the set; "<!set>" or "<^set>" one character not in it. Members
//            are single characters or byte ranges "a-z". An empty set, or one without its
//            closing ">", never matches.
//   *        any run of characters, the empty run included; "*<set>" is a run made only of
//            characters of the set (so "*<a-z>" is a run of letters, the empty run included).
//   other    the character itself.
// Stars in a row act as one star, and a trailing star or star-set matches the empty rest.
#pragma once

#include <string_view>

namespace archive {

bool MatchPattern(std::string_view pattern, std::string_view name);
// True when the text holds any of * ? < > |.
bool HasWildcards(std::string_view text);

}  // namespace archive
