// CP850 <-> UTF-8 for databases opened with OEM conversion.
#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "engines/rcx/value.h"

namespace rcx {

namespace {

// One converter per direction and thread: iconv_t keeps state and is not thread-safe.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  std::string run(std::string_view in) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(in.size() * 4 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        size_t used = size_t(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
        continue;
      }
      // An unconvertible or invalid byte: replace it and go on.
      if (dstLeft == 0) {
        size_t used = size_t(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
      }
      *dst++ = '?';
      --dstLeft;
      // Skip one whole UTF-8 sequence (or one byte of anything else).
      unsigned char c = static_cast<unsigned char>(*src);
      size_t skip = 1;
      if (c >= 0xC0 && c < 0xE0) skip = 2;
      else if (c >= 0xE0 && c < 0xF0) skip = 3;
      else if (c >= 0xF0 && c < 0xF8) skip = 4;
      if (skip > srcLeft) skip = srcLeft;
      src += skip;
      srcLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(size_t(dst - out.data()));
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string toOem(std::string_view utf8) {
  thread_local Converter c("CP850", "UTF-8");
  return c.run(utf8);
}

std::string fromOem(std::string_view oem) {
  thread_local Converter c("UTF-8", "CP850");
  return c.run(oem);
}

}  // namespace rcx
