// Work shared out in parts over the threads of a pool.
#pragma once

#include <functional>

namespace mglink {

// Runs body(i) for every i in 0..count-1, each once, in any order and on any
// of the caller's threads, and returns when all are done.  body must not
// throw.
using ForEachPart = std::function<void(int count, const std::function<void(int)>& body)>;

// body(0), ..., body(count-1): by `parts` when given, else in order on the
// calling thread.
inline void for_each_part(const ForEachPart* parts, int count, const std::function<void(int)>& body) {
  if (parts != nullptr) {
    (*parts)(count, body);
  } else {
    for (int i = 0; i < count; ++i) body(i);
  }
}

}  // namespace mglink
