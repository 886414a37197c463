#pragma once
// Fixtures shared by the PNG and zlib stream tests.
#include <exception>
#include <string>

namespace codecs::testkit {

// The message of the exception f throws, or "(no error)".
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace codecs::testkit
